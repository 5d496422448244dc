#pragma once
// Helpers shared by the fuzz targets: a private scratch directory (on tmpfs
// when there is one, since the writers flush every file), cells taken from the
// fuzzer's bytes, and a check that aborts so libFuzzer keeps the input.

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#define FUZZ_CHECK(cond)                                                      \
  do {                                                                        \
    if (!(cond)) {                                                            \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                           \
    }                                                                         \
  } while (0)

// One directory per process, removed at exit.
inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : std::getenv("TMPDIR");
    std::string tmpl = std::string(base ? base : "/tmp") + "/quorrel-fuzz-XXXXXX";
    if (!mkdtemp(tmpl.data())) std::abort();
    static const std::string removeAtExit = tmpl;
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(removeAtExit, ec);
    });
    return tmpl + "/";
  }();
  return dir;
}

inline std::string ScratchFile(const char* name) { return ScratchDir() + name; }

inline void WriteBytes(const std::string& path, const uint8_t* data, size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  if (!out) std::abort();
}

// Splits the input into byte strings: a backslash followed by anything but a
// second backslash ends a piece, "\\" stands for one backslash. Every byte
// value can thus appear in a piece, and seeds stay readable ("A\r\nB\|x").
inline std::vector<std::string> Pieces(const uint8_t* data, size_t size) {
  std::vector<std::string> out(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] != '\\') {
      out.back() += static_cast<char>(data[i]);
    } else if (i + 1 < size && data[i + 1] == '\\') {
      out.back() += '\\';
      ++i;
    } else {
      ++i;
      out.emplace_back();
    }
  }
  return out;
}

// The text as the loaders give it back: every CR LF, lone CR and lone LF
// becomes CR LF.
inline std::string CrLf(std::string_view s) {
  std::string out;
  out.reserve(s.size() + s.size() / 8);
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\r' || s[i] == '\n') {
      out += "\r\n";
      if (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ++i;
    } else {
      out += s[i];
    }
  }
  return out;
}

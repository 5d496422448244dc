#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

TTempDir::TTempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "quorrel-test-XXXXXX").string();
  if (!mkdtemp(tmpl.data())) ADD_FAILURE() << "mkdtemp failed";
  path_ = tmpl + "/";
}

TTempDir::~TTempDir() {
  std::error_code ec;
  // Read-only directories left by a test must not keep the tree alive.
  for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
    std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
  std::filesystem::remove_all(path_, ec);
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

TFixedClock::TFixedClock() { SetClock(this); }
TFixedClock::~TFixedClock() { SetClock(nullptr); }

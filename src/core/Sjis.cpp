#include "core/Sjis.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>

namespace {

bool IsAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

// One iconv handle per direction, opened on first use and kept for the
// process (per thread, so a stray worker thread cannot corrupt its state).
class TConverter {
 public:
  TConverter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~TConverter() {
    if (cd_ != reinterpret_cast<iconv_t>(-1)) iconv_close(cd_);
  }
  TConverter(const TConverter&) = delete;
  TConverter& operator=(const TConverter&) = delete;

  bool Failed() const { return cd_ == reinterpret_cast<iconv_t>(-1); }

  // Converts one whole character; the bytes written, 0 when it cannot.
  size_t One(std::string_view in, unsigned char* out, size_t room) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = reinterpret_cast<char*>(out);
    size_t dstLeft = room;
    if (iconv(cd_, &src, &srcLeft, &dst, &dstLeft) == static_cast<size_t>(-1) || srcLeft != 0) return 0;
    return room - dstLeft;
  }

  // Converts in, replacing each unconvertible or invalid input sequence by
  // "?". skipInvalid tells how many input bytes such a sequence occupies.
  template <class Skip>
  void Run(std::string& out, std::string_view in, Skip skipInvalid) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      out.append(in.size(), '?');
      return;
    }
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buf[4096];
    while (srcLeft > 0) {
      char* dst = buf;
      size_t dstLeft = sizeof buf;
      size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out.append(buf, static_cast<size_t>(dst - buf));
      if (r != static_cast<size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ: drop the sequence; EINVAL: a sequence cut off at the end.
      size_t n = errno == EINVAL ? srcLeft : skipInvalid(std::string_view(src, srcLeft));
      if (n == 0 || n > srcLeft) n = srcLeft < 1 ? srcLeft : 1;
      src += n;
      srcLeft -= n;
      out.push_back('?');
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    }
  }

 private:
  iconv_t cd_;
};

// Length of the UTF-8 sequence at the start of s, or 1 when it is malformed.
size_t Utf8SequenceLen(std::string_view s) {
  unsigned char c = static_cast<unsigned char>(s[0]);
  size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 1;
  if (n > s.size()) return 1;
  for (size_t i = 1; i < n; ++i)
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return 1;
  return n;
}

// A lead byte swallows the byte after it only when that byte can be a
// second byte: "\x81'" loses its lead byte, never the quote.
size_t SjisSequenceLen(std::string_view s) {
  if (SjisCharLen(s, 0) != 2) return 1;
  unsigned char c = static_cast<unsigned char>(s[1]);
  return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC) ? 2 : 1;
}

// cp932 bytes of the characters of the Basic Multilingual Plane, learnt from
// iconv one character at a time, a page of 256 when a page is first met: a
// fetched column of Japanese text costs an iconv call per character of the
// first rows only. Entry 0: no single cp932 character (iconv decides); below
// 0x100 one byte, otherwise two (a lead byte is never below 0x81).
class TSjisTable {
 public:
  uint16_t Lookup(uint32_t cp) {
    std::unique_ptr<uint16_t[]>& page = pages_[cp >> 8];
    if (!page) page = Learn(cp & ~0xFFu);
    return page[cp & 0xFF];
  }

 private:
  std::unique_ptr<uint16_t[]> Learn(uint32_t first) {
    auto page = std::make_unique<uint16_t[]>(256);
    if (conv_.Failed()) return page;
    for (uint32_t cp = std::max<uint32_t>(first, 0x80); cp < first + 256; ++cp) {
      if (cp >= 0xD800 && cp < 0xE000) continue;  // surrogates are no characters
      char in[3];
      size_t n = 0;
      if (cp < 0x800) {
        in[n++] = static_cast<char>(0xC0 | (cp >> 6));
      } else {
        in[n++] = static_cast<char>(0xE0 | (cp >> 12));
        in[n++] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      }
      in[n++] = static_cast<char>(0x80 | (cp & 0x3F));
      unsigned char out[8];
      const size_t got = conv_.One(std::string_view(in, n), out, sizeof out);
      if (got == 1 && out[0] != 0)
        page[cp - first] = out[0];
      else if (got == 2 && out[0] >= 0x81)
        page[cp - first] = static_cast<uint16_t>(out[0] << 8 | out[1]);
    }
    return page;
  }

  TConverter conv_{"CP932", "UTF-8"};
  std::unique_ptr<uint16_t[]> pages_[256];
};

// Well-formed UTF-8 of known characters through the table; false (with out
// as it was) for anything else, which iconv then converts as a whole.
bool AppendByTable(std::string& out, std::string_view utf8) {
  thread_local TSjisTable table;
  const size_t start = out.size();
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* end = p + utf8.size();
  while (p < end) {
    const unsigned char c = *p;
    if (c < 0x80) {
      const auto* run = p + 1;
      while (run < end && *run < 0x80) ++run;
      out.append(reinterpret_cast<const char*>(p), static_cast<size_t>(run - p));
      p = run;
      continue;
    }
    uint32_t cp;
    int n;
    if (c >= 0xC2 && c < 0xE0 && end - p >= 2 && (p[1] & 0xC0) == 0x80) {
      cp = (c & 0x1Fu) << 6 | (p[1] & 0x3Fu);
      n = 2;
    } else if (c >= 0xE0 && c < 0xF0 && end - p >= 3 && (p[1] & 0xC0) == 0x80 && (p[2] & 0xC0) == 0x80) {
      cp = (c & 0x0Fu) << 12 | (p[1] & 0x3Fu) << 6 | (p[2] & 0x3Fu);
      n = 3;
      if (cp < 0x800) break;  // an overlong form: iconv's to refuse
    } else {
      break;
    }
    const uint16_t code = table.Lookup(cp);
    if (code == 0) break;
    if (code >= 0x100) out.push_back(static_cast<char>(code >> 8));
    out.push_back(static_cast<char>(code & 0xFF));
    p += n;
  }
  if (p == end) return true;
  out.resize(start);
  return false;
}

}  // namespace

void AppendUtf8AsSjis(std::string& out, std::string_view utf8) {
  if (IsAscii(utf8)) {
    out.append(utf8);
    return;
  }
  if (AppendByTable(out, utf8)) return;
  thread_local TConverter conv("CP932", "UTF-8");
  conv.Run(out, utf8, Utf8SequenceLen);
}

void AppendSjisAsUtf8(std::string& out, std::string_view sjis) {
  if (IsAscii(sjis)) {
    out.append(sjis);
    return;
  }
  thread_local TConverter conv("UTF-8", "CP932");
  conv.Run(out, sjis, SjisSequenceLen);
}

std::string Utf8ToSjis(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  AppendUtf8AsSjis(out, utf8);
  return out;
}

std::string SjisToUtf8(std::string_view sjis) {
  std::string out;
  out.reserve(sjis.size() + sjis.size() / 2);
  AppendSjisAsUtf8(out, sjis);
  return out;
}

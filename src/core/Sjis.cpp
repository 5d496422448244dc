#include "core/Sjis.h"

#include <iconv.h>

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

}  // namespace

namespace {

TConverter& Utf8Converter() {
  thread_local TConverter conv("CP932", "UTF-8");
  return conv;
}

// The cp932 bytes of each character of the Basic Multilingual Plane, learnt
// from iconv the first time the character is met: database texts repeat the
// same few thousand characters millions of times, and asking iconv for every
// value costs more than the rest of the fetch. CP932 is stateless, so a text
// converted character by character is the text iconv would give whole.
class TSjisCache {
 public:
  // Appends the cp932 form of `utf8`; false (out as it was) when it holds
  // anything but well-formed one- to three-byte sequences of characters
  // that cp932 has, which the caller then leaves to iconv.
  bool Append(std::string& out, std::string_view utf8) {
    // No character grows: one to three UTF-8 bytes give one or two.
    const size_t start = out.size();
    out.resize(start + utf8.size());
    char* d = out.data() + start;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const size_t n = utf8.size();
    for (size_t i = 0; i < n;) {
      const unsigned c = p[i];
      if (c < 0x80) {
        *d++ = static_cast<char>(c);
        ++i;
        continue;
      }
      unsigned cp;
      if (c >= 0xC2 && c <= 0xDF && i + 1 < n && (p[i + 1] & 0xC0) == 0x80) {
        cp = ((c & 0x1F) << 6) | (p[i + 1] & 0x3F);
        i += 2;
      } else if ((c & 0xF0) == 0xE0 && i + 2 < n && (p[i + 1] & 0xC0) == 0x80 && (p[i + 2] & 0xC0) == 0x80) {
        cp = ((c & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F);
        if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) return Undo(out, start);
        i += 3;
      } else {
        return Undo(out, start);
      }
      uint16_t code = table_[cp];
      if (code == kUnknown) code = table_[cp] = Learn(cp);
      if (code == kNone) return Undo(out, start);
      if (code >= 0x8000) *d++ = static_cast<char>(code >> 8);
      *d++ = static_cast<char>(code & 0xFF);
    }
    out.resize(static_cast<size_t>(d - out.data()));
    return true;
  }

 private:
  // Table entries: a two-byte code as it is (its lead byte is 0x81 or more),
  // a one-byte code b as 0x100 | b.
  static constexpr uint16_t kUnknown = 0;
  static constexpr uint16_t kNone = 0xFFFF;

  static bool Undo(std::string& out, size_t start) {
    out.resize(start);
    return false;
  }

  static uint16_t Learn(unsigned cp) {
    char utf8[3];
    size_t len;
    if (cp < 0x800) {
      utf8[0] = static_cast<char>(0xC0 | (cp >> 6));
      utf8[1] = static_cast<char>(0x80 | (cp & 0x3F));
      len = 2;
    } else {
      utf8[0] = static_cast<char>(0xE0 | (cp >> 12));
      utf8[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      utf8[2] = static_cast<char>(0x80 | (cp & 0x3F));
      len = 3;
    }
    std::string sjis;
    Utf8Converter().Run(sjis, std::string_view(utf8, len), Utf8SequenceLen);
    const auto b0 = sjis.empty() ? 0u : static_cast<unsigned char>(sjis[0]);
    if (sjis.size() == 1 && sjis != "?") return static_cast<uint16_t>(0x100 | b0);
    if (sjis.size() == 2 && b0 >= 0x81) return static_cast<uint16_t>((b0 << 8) | static_cast<unsigned char>(sjis[1]));
    return kNone;  // "?" or anything unusual: iconv speaks for the whole text
  }

  std::unique_ptr<uint16_t[]> table_{new uint16_t[0x10000]()};
};

TSjisCache& SjisCache() {
  thread_local TSjisCache cache;
  return cache;
}

}  // namespace

void AppendUtf8AsSjis(std::string& out, std::string_view utf8) {
  if (!SjisCache().Append(out, utf8)) Utf8Converter().Run(out, utf8, Utf8SequenceLen);
}

// The cache takes exactly the texts made of well-formed characters that
// cp932 has; cp932 has nothing beyond the Basic Multilingual Plane.
bool SjisCanHold(std::string_view utf8) {
  if (IsAscii(utf8)) return true;
  std::string out;
  return SjisCache().Append(out, utf8);
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

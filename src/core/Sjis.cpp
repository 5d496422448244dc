#include "core/Sjis.h"

#include <iconv.h>

#include <cerrno>

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

void AppendUtf8AsSjis(std::string& out, std::string_view utf8) {
  if (IsAscii(utf8)) {
    out.append(utf8);
    return;
  }
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

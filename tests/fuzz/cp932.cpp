// The cp932 codec on any bytes, read both as cp932 and as UTF-8: conversions
// never fail, cp932 to UTF-8 gives valid UTF-8, ASCII passes unchanged, and
// after one round trip the text is stable.

#include "FuzzSupport.h"
#include "core/Sjis.h"

namespace {

bool ValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

size_t Ascii(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s) n += c < 0x80;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);

  const std::string utf8 = SjisToUtf8(in);
  FUZZ_CHECK(ValidUtf8(utf8));
  const std::string sjis = Utf8ToSjis(utf8);
  FUZZ_CHECK(SjisToUtf8(sjis) == utf8);
  if (Ascii(in) == in.size()) FUZZ_CHECK(utf8 == in && sjis == in);

  // Read as UTF-8: every character ends up as one cp932 character or "?".
  const std::string fromUtf8 = Utf8ToSjis(in);
  FUZZ_CHECK(fromUtf8.size() <= in.size() * 2);
  const std::string back = SjisToUtf8(fromUtf8);
  FUZZ_CHECK(ValidUtf8(back));
  FUZZ_CHECK(Utf8ToSjis(back) == fromUtf8);

  std::string appended = "x";
  AppendSjisAsUtf8(appended, in);
  FUZZ_CHECK(appended == "x" + utf8);
  return 0;
}

#include <gtest/gtest.h>
#include <iconv.h>

#include "core/Sjis.h"

TEST(Sjis, ConvertsBothWaysAndKeepsAsciiAsIs) {
  EXPECT_EQ(SJ("完了"), std::string("\x8A\xAE\x97\xB9"));
  EXPECT_EQ(SjisToUtf8("\x8A\xAE\x97\xB9"), "完了");
  EXPECT_EQ(SJ("SELECT 1"), "SELECT 1");
  // Half-width katakana and the NEC/IBM extensions of cp932.
  EXPECT_EQ(SjisToUtf8(SJ("ｷｬﾝｾﾙ①髙")), "ｷｬﾝｾﾙ①髙");
}

TEST(Sjis, WhatCannotBeHeldOrIsInvalidBecomesAQuestionMark) {
  EXPECT_EQ(Utf8ToSjis("a\xF0\x9F\x98\x80" "b"), "a?b");       // emoji: no cp932 form
  EXPECT_EQ(Utf8ToSjis("a\xC3(b"), "a?(b");                     // broken UTF-8
  EXPECT_EQ(Utf8ToSjis("x\xE5\xAE"), "x?");                     // truncated at the end
  EXPECT_EQ(SjisToUtf8("a\x81"), "a?");                          // lone lead byte
  EXPECT_EQ(SjisToUtf8(std::string("a\xA0\xFD" "b", 4)), "a??b");  // bytes cp932 never uses
  // A lead byte followed by a byte that cannot end a character loses only itself.
  EXPECT_EQ(SjisToUtf8("\x81'x'"), "?'x'");
  EXPECT_EQ(SjisToUtf8("a\x81\r\nb"), "a?\r\nb");
  EXPECT_EQ(SjisToUtf8("\x85\x40z"), "?z");  // unassigned pair: both bytes go
}

TEST(Sjis, LeadBytes) {
  std::string s = SJ("表");  // second byte 0x5C looks like a backslash
  ASSERT_EQ(s.size(), 2u);
  EXPECT_TRUE(IsLeadByte(static_cast<unsigned char>(s[0])));
  EXPECT_EQ(SjisCharLen(s, 0), 2u);
  EXPECT_FALSE(IsLeadByte('A'));
  EXPECT_FALSE(IsLeadByte(0xB1));  // half-width katakana is one byte
  EXPECT_EQ(SjisCharLen(std::string("\x81"), 0), 1u);
}

// Database texts go through a per-character cache; whatever the text, the
// result must be the one iconv gives for the text whole.
TEST(Sjis, EveryTextConvertsAsIconvConvertsItWhole) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  auto reference = [cd](const std::string& in) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    std::string out(in.size() * 2 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size(), dstLeft = out.size();
    char* dst = out.data();
    const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    out.resize(out.size() - dstLeft);
    return r == static_cast<size_t>(-1) ? std::string("(fails)") : out;
  };
  // Every character of the plane, one at a time and then all in one text,
  // twice (the second pass reads what the first one learnt).
  std::string all, expected;
  for (int pass = 0; pass < 2; ++pass) {
    for (unsigned cp = 0x80; cp <= 0xFFFF; ++cp) {
      if (cp >= 0xD800 && cp <= 0xDFFF) continue;
      std::string ch = cp < 0x800 ? std::string{char(0xC0 | (cp >> 6)), char(0x80 | (cp & 0x3F))}
                                  : std::string{char(0xE0 | (cp >> 12)), char(0x80 | ((cp >> 6) & 0x3F)),
                                                char(0x80 | (cp & 0x3F))};
      const std::string want = reference(ch);
      const std::string got = Utf8ToSjis(ch);
      if (want == "(fails)") {
        ASSERT_EQ(got, "?") << std::hex << cp;
      } else {
        ASSERT_EQ(got, want) << std::hex << cp;
        if (pass == 0) all += "a" + ch, expected += "a" + want;
      }
    }
  }
  EXPECT_EQ(Utf8ToSjis(all), expected);
  // Mixed with what the cache leaves to iconv: overlong, surrogate, emoji, cut off.
  EXPECT_EQ(Utf8ToSjis("表\xC0\xAF表"), SJ("表") + "?" + SJ("表"));
  EXPECT_EQ(Utf8ToSjis("東\xED\xA0\x80京"), SJ("東") + "?" + SJ("京"));
  EXPECT_EQ(Utf8ToSjis("顧客\xF0\x9F\x98\x80" "1"), SJ("顧客") + "?1");
  EXPECT_EQ(Utf8ToSjis("顧客\xE5\xAE"), SJ("顧客") + "?");
  iconv_close(cd);
}

TEST(Sjis, CanHoldTellsWhatWouldBecomeAQuestionMark) {
  EXPECT_TRUE(SjisCanHold("SELECT '?' FROM T"));
  EXPECT_TRUE(SjisCanHold("東京 ﾒｲ ～ ①"));
  EXPECT_TRUE(SjisCanHold(""));
  for (const char* text : {"Café", "select\u00A0*", "한국", "\U0001F600", "\xFF", "\xE6\x9D"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(SjisCanHold(text));
    EXPECT_NE(Utf8ToSjis(text).find('?'), std::string::npos);
  }
}

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

// Every character of the Basic Multilingual Plane, alone and between other
// text, gives the bytes iconv gives it (or "?" where iconv has none): the
// table that spares iconv its per-call cost must never disagree with it.
TEST(Sjis, EveryCharacterAsIconvConvertsIt) {
  iconv_t cd = iconv_open("CP932", "UTF-8");
  ASSERT_NE(cd, reinterpret_cast<iconv_t>(-1));
  auto utf8 = [](uint32_t cp) {
    std::string s;
    if (cp < 0x800) {
      s += static_cast<char>(0xC0 | (cp >> 6));
    } else {
      s += static_cast<char>(0xE0 | (cp >> 12));
      s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    }
    s += static_cast<char>(0x80 | (cp & 0x3F));
    return s;
  };
  int mismatches = 0;
  for (uint32_t cp = 0x80; cp < 0x10000 && mismatches < 5; ++cp) {
    if (cp >= 0xD800 && cp < 0xE000) continue;
    std::string in = utf8(cp);
    char buf[8];
    char* src = in.data();
    size_t srcLeft = in.size();
    char* dst = buf;
    size_t dstLeft = sizeof buf;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    const bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1) && srcLeft == 0;
    const std::string expected = ok ? std::string(buf, static_cast<size_t>(dst - buf)) : "?";
    const std::string got = Utf8ToSjis(in);
    const std::string between = Utf8ToSjis("a" + in + "\xE3\x81\x82" + in);
    if (got != expected || between != "a" + expected + "\x82\xA0" + expected) {
      ADD_FAILURE() << "U+" << std::hex << cp;
      ++mismatches;
    }
  }
  iconv_close(cd);
}

TEST(Sjis, KnownCharactersBesideWhatIconvMustDecide) {
  // Text cp932 holds around a character it does not, a broken sequence, an
  // overlong form and a character beyond the plane.
  EXPECT_EQ(Utf8ToSjis("テ\u00E9キスト"), SJ("テ") + "?" + SJ("キスト"));
  EXPECT_EQ(Utf8ToSjis("漢\xE5\xAEx字"), SJ("漢") + "??x" + SJ("字"));  // each stray byte
  EXPECT_EQ(Utf8ToSjis("ア\xC0\xAFイ"), SJ("ア") + "?" + SJ("イ"));
  EXPECT_EQ(Utf8ToSjis("ア\xE0\x80\xAFイ"), SJ("ア") + Utf8ToSjis("\xE0\x80\xAF") + SJ("イ"));
  EXPECT_EQ(Utf8ToSjis("表\xF0\x9F\x98\x80示"), SJ("表") + "?" + SJ("示"));
  std::string out = "keep";
  AppendUtf8AsSjis(out, "ｶﾅ\u00E9");
  EXPECT_EQ(out, "keep\xB6\xC5?");
}

#include <gtest/gtest.h>

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

#include <gtest/gtest.h>

#include "core/Sjis.h"
#include "core/StrUtil.h"

TEST(StrUtil, LeftRightAndStrip) {
  EXPECT_EQ(LeftStr("abc", 4), "");
  EXPECT_EQ(RightStr("abc", 4), "");
  EXPECT_EQ(LeftStr("abc", 0), "");
  EXPECT_EQ(LeftStr("abc", 2), "ab");
  EXPECT_EQ(RightStr("abc", 2), "bc");
  EXPECT_EQ(StripStr("abcdef", 1, 1), "bcde");
  EXPECT_EQ(StripStr("abcdef", 0, 0), "abcdef");
  EXPECT_EQ(StripStr("ab", 1, 1), "ab");  // overlapping cuts: bounds in ascending order
  EXPECT_EQ(StripStr("abc", 1, 1), "b");
  EXPECT_EQ(StripStr("abc", 3, 0), "");
  EXPECT_EQ(StripStr("abc", -1, 0), "");
  for (int l = -1; l < 3; ++l)
    for (int r = -1; r < 3; ++r) EXPECT_EQ(StripStr("", l, r), "");
}

TEST(StrUtil, ReplaceAtAndPosFrom) {
  EXPECT_EQ(ReplaceAt("a&b", "&", "&amp;", 2), "a&amp;b");
  EXPECT_EQ(ReplaceAt("ab&", "&", "&amp;", 3), "ab&amp;");
  EXPECT_EQ(ReplaceAt("&", "&", "&amp;", 1), "&amp;");
  EXPECT_EQ(PosFrom("ab", "xxabab", 4), 5);
  EXPECT_EQ(PosFrom("ab", "xxabab", 1), 3);
  EXPECT_EQ(PosFrom("ab", "xxa", 1), 0);
  EXPECT_EQ(PosFrom("ab", "", 1), 0);
  EXPECT_EQ(PosFrom("a", "ab", 3), 0);
}

TEST(StrUtil, Stack) {
  TStrStack stack;
  EXPECT_EQ(PopStr(stack), "");
  EXPECT_TRUE(stack.empty());
  PushStr(stack, "a");
  PushStr(stack, "b");
  EXPECT_EQ(PopStr(stack), "b");
  EXPECT_EQ(PopStr(stack), "a");
  EXPECT_EQ(PopStr(stack), "");
}

TEST(StrUtil, LinesSplitAtEveryKindOfBreakAndJoinWithCrLf) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (TStrings{"a", "b", "c", "d"}));
  EXPECT_EQ(SplitLines("a\r\n"), (TStrings{"a"}));
  EXPECT_EQ(SplitLines("a\n\nb"), (TStrings{"a", "", "b"}));
  EXPECT_EQ(SplitLines("\r\n"), (TStrings{""}));
  EXPECT_TRUE(SplitLines("").empty());
  EXPECT_EQ(JoinLines({"a", "", "b"}), "a\r\n\r\nb\r\n");
  EXPECT_EQ(JoinLines({}), "");
}

TEST(StrUtil, IntegerTexts) {
  int32_t v = 0;
  EXPECT_TRUE(TryStrToInt("1000", v));
  EXPECT_EQ(v, 1000);
  EXPECT_TRUE(TryStrToInt("  -5", v));
  EXPECT_EQ(v, -5);
  EXPECT_TRUE(TryStrToInt("$00C0FFEE", v));
  EXPECT_EQ(v, 0x00C0FFEE);
  EXPECT_TRUE(TryStrToInt("$80000018", v));
  EXPECT_EQ(static_cast<uint32_t>(v), 0x80000018u);
  EXPECT_TRUE(TryStrToInt("2147483647", v));
  for (const char* bad : {"", "abc", "1 ", "2147483648", "$", "12a", "$1FFFFFFFF"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(TryStrToInt(bad, v));
  }
}

TEST(StrUtil, UpperCaseLeavesDoubleByteCharactersAlone) {
  // "ａ" in cp932 is 82 81, and its second byte must not turn into something else;
  // "ソ" (83 5C) and "ー" (81 5B) hold bytes that look like ASCII.
  std::string s = SJ("select ａソー x");
  std::string u = UpperSjis(s);
  EXPECT_EQ(u, SJ("SELECT ａソー X"));
  std::string odd = SJ("ｱ") + "b" + SJ("ゃ").substr(0, 1);  // half-width kana, lone lead byte at the end
  EXPECT_EQ(UpperSjis(odd), SJ("ｱ") + "B" + SJ("ゃ").substr(0, 1));
}

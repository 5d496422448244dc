// SQL files: which encoding a file is read in, and line breaks.

#include <gtest/gtest.h>

#include "core/Sjis.h"
#include "storage/SqlFile.h"
#include "support/TempDir.h"

TEST(SqlFileTest, Utf8IsRecognisedOnlyWhenWellFormed) {
  struct TCase {
    const char* Name;
    std::string Bytes;
    bool Valid;
  };
  const TCase cases[] = {
      {"ascii", "SELECT 1", true},
      {"japanese", "\xE6\x9D\xB1\xE4\xBA\xAC", true},
      {"four bytes", "\xF0\x9F\x98\x80", true},
      {"shift_jis kanji", "\x93\x8C\x8B\x9E", false},
      {"shift_jis half-width kana", "\xB1\xB2\xB3", false},
      {"overlong slash", "\xC0\xAF", false},
      {"overlong three bytes", "\xE0\x80\xAF", false},
      {"surrogate", "\xED\xA0\x80", false},
      {"above U+10FFFF", "\xF4\x90\x80\x80", false},
      {"cut short", "\xE6\x9D", false},
      {"lone continuation", "a\x80", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(IsValidUtf8(c.Bytes), c.Valid);
  }
}

TEST(SqlFileTest, ShiftJisThatIsAlsoValidUtf8IsReadAsShiftJis) {
  TTempDir dir;
  const std::string path = dir.File("q.sql");
  struct TCase {
    const char* Name;
    std::string Bytes;
    TSqlEncoding Encoding;
  };
  const TCase cases[] = {
      // Half-width katakana pairing up into two-byte UTF-8: ﾒｲ is D2 B2.
      {"shift_jis half-width kana", SJ("SELECT * FROM T WHERE KANA = 'ﾒｲ'\r\n"), TSqlEncoding::Sjis},
      {"shift_jis kana pairs", SJ("-- ﾃｽ\r\nSELECT 'ﾒｲ', 'ﾗｲ' FROM DUAL\r\n"), TSqlEncoding::Sjis},
      {"shift_jis prose and kana", SJ("-- 顧客ﾏｽﾀの検索\r\nSELECT * FROM 顧客 WHERE 区分 = 'ﾒｲ'\r\n"),
       TSqlEncoding::Sjis},
      // Japanese UTF-8 is three-byte sequences, even where the bytes also
      // make Shift_JIS (東京 is E6 9D B1 E4 BA AC, valid both ways).
      {"utf8 two kanji", "\xE6\x9D\xB1\xE4\xBA\xAC", TSqlEncoding::Utf8},
      {"utf8 prose",
       "-- 東京都の顧客を検索する\r\nSELECT * FROM 顧客 WHERE 住所 LIKE '東京都%'\r\n", TSqlEncoding::Utf8},
      {"utf8 half-width kana", "SELECT 'ﾒｲ' FROM T", TSqlEncoding::Utf8},
      {"utf8 accents and kanji", "SELECT 'Café', '東京' FROM T", TSqlEncoding::Utf8},
      // Not Shift_JIS at all (a lone 0x80 trail after ÿ): UTF-8.
      {"utf8 not shift_jis", "SELECT '\xC3\xBF\xC2\x80'", TSqlEncoding::Utf8},
      {"mixed ascii", "SELECT 1 FROM DUAL\r\n", TSqlEncoding::Sjis},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteFileBytes(path, c.Bytes);
    std::string text;
    TSqlEncoding encoding = TSqlEncoding::Utf8Bom;
    ASSERT_TRUE(ReadSqlFile(path, text, encoding));
    EXPECT_EQ(encoding, c.Encoding);
    // Read either way, the text is the one the bytes were made from, and it
    // writes back to the same bytes.
    std::string crlf;
    for (char ch : text) crlf += ch == '\n' ? std::string("\r\n") : std::string(1, ch);
    EXPECT_EQ(c.Encoding == TSqlEncoding::Sjis ? SJ(crlf) : crlf, c.Bytes);
    ASSERT_TRUE(WriteSqlFile(path, text, encoding));
    EXPECT_EQ(ReadFileBytes(path), c.Bytes);
  }
}

TEST(SqlFileTest, ReadsEachLineBreakAndWritesCrLf) {
  TTempDir dir;
  const std::string path = dir.File("q.sql");
  struct TCase {
    const char* Name;
    std::string Bytes;
    std::string Text;
    TSqlEncoding Encoding;
  };
  const TCase cases[] = {
      {"mixed breaks", "a\r\nb\rc\nd\n\r", "a\nb\nc\nd\n\n", TSqlEncoding::Sjis},
      {"mark only", "\xEF\xBB\xBF", "", TSqlEncoding::Utf8Bom},
      {"empty", "", "", TSqlEncoding::Sjis},
      {"shift_jis", SJ("表\r\n"), "表\n", TSqlEncoding::Sjis},
      {"undecodable byte", "a\x80" "b", "a?b", TSqlEncoding::Sjis},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    WriteFileBytes(path, c.Bytes);
    std::string text = "old";
    TSqlEncoding encoding = TSqlEncoding::Utf8;
    ASSERT_TRUE(ReadSqlFile(path, text, encoding));
    EXPECT_EQ(text, c.Text);
    EXPECT_EQ(encoding, c.Encoding);
  }
  ASSERT_TRUE(WriteSqlFile(path, "a\n\nb\n", TSqlEncoding::Utf8Bom));
  EXPECT_EQ(ReadFileBytes(path), "\xEF\xBB\xBF" "a\r\n\r\nb\r\n");

  std::string text = "old";
  TSqlEncoding encoding;
  EXPECT_FALSE(ReadSqlFile(dir.File("missing.sql"), text, encoding));
  EXPECT_TRUE(text.empty());
  EXPECT_FALSE(WriteSqlFile(dir.File("gone/q.sql"), "x", TSqlEncoding::Sjis));
}

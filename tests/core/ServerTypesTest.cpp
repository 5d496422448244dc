#include <gtest/gtest.h>

#include <cstdio>
#include <sql.h>
#include <sqlext.h>

#include "core/sessions/ServerTypes.h"

TEST(ServerTypes, SqlStatesFoldToStableNumbers) {
  EXPECT_EQ(FoldSqlState("42P01"), 6844177);
  EXPECT_EQ(FoldSqlState("00001"), 1);
  EXPECT_EQ(FoldSqlState("ZZZZZ"), 60466175);  // the largest, within 32 bits
  EXPECT_NE(FoldSqlState("42601"), FoldSqlState("42602"));
  // Malformed states still give a non-zero number: a failure never reads as "no error".
  for (const char* bad : {"", "0000", "00000", "42p01", "HY0000"}) {
    EXPECT_EQ(FoldSqlState(bad), FoldSqlState("HY000")) << bad;
  }
}

TEST(ServerTypes, IsoDateTimes) {
  struct Case {
    const char* text;
    bool ok;
    TDateTime expect;
  } cases[] = {
      {"2004-03-05", true, EncodeDate(2004, 3, 5)},
      {"2004-03-05 13:07:09", true, EncodeDateTime(2004, 3, 5, 13, 7, 9)},
      {"2004-03-05T13:07", true, EncodeDateTime(2004, 3, 5, 13, 7, 0)},
      {"2004-03-05 13:07:09.250", true, EncodeDateTime(2004, 3, 5, 13, 7, 9, 250)},
      {" 2004-03-05 13:07:09.123456 ", true, EncodeDateTime(2004, 3, 5, 13, 7, 9) + 0.123456 / 86400},
      // Zoned values become Tokyo time (TZ is pinned for the tests).
      {"2004-03-05 04:07:09+00", true, EncodeDateTime(2004, 3, 5, 13, 7, 9)},
      {"2004-03-05 04:07:09Z", true, EncodeDateTime(2004, 3, 5, 13, 7, 9)},
      {"2004-03-04 23:37:09-05:30", true, EncodeDateTime(2004, 3, 5, 14, 7, 9)},
      {"2004-03-05 13:07:09+0900", true, EncodeDateTime(2004, 3, 5, 13, 7, 9)},
      {"2004-02-29", true, EncodeDate(2004, 2, 29)},
      {"2003-02-29", false, 0},
      {"2004-13-01", false, 0},
      {"infinity", false, 0},
      {"2004-03-05 BC", false, 0},
      {"0000-01-01", false, 0},
      {"12004-03-05", false, 0},
      {"2004-03-05 13:07:", false, 0},
      {"2004-03-05 13:07:09.", false, 0},
      {"2004-03-05 25:00:00", false, 0},
      {"", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    TDateTime out = -1;
    ASSERT_EQ(ParseIsoDateTime(c.text, out), c.ok);
    if (c.ok) {
      EXPECT_NEAR(out, c.expect, 1e-9);
    }
  }
}

// A plain timestamp becomes its cell text without the date-time; it must be
// the text the detour makes, and every other form must take the detour.
TEST(ServerTypes, PlainIsoDateTimesGiveTheTextOfTheDateTime) {
  int direct = 0;
  std::string cell;
  char buf[32];
  for (int y : {1, 1899, 1900, 2004, 2024, 9999})
    for (int m = 0; m <= 13; ++m)
      for (int d = 0; d <= 32; ++d)
        for (const char* clock : {"", " 00:00:00", " 23:59:59", " 12:07:09", " 24:00:00", " 12:00:60"}) {
          std::snprintf(buf, sizeof buf, "%04d-%02d-%02d%s", y, m, d, clock);
          SCOPED_TRACE(buf);
          TDateTime dt;
          if (!IsoDateCellText(buf, cell)) continue;
          ASSERT_TRUE(ParseIsoDateTime(buf, dt));
          ASSERT_EQ(cell, FormatDateTime(dt));
          ++direct;
        }
  EXPECT_GT(direct, 4000);
  EXPECT_TRUE(IsoDateCellText("2004-03-05", cell));
  EXPECT_EQ(cell, "2004/03/05 00:00:00");
  for (const char* other : {"2004-03-05T13:07:09", "2004-03-05 13:07", "2004/03/05 13:07:09", "2004-03-05 13:07:09.5",
                            "2004-03-05 13:07:09+09", " 2004-03-05 13:07:09", "1899-12-31 13:07:09"})
    EXPECT_FALSE(IsoDateCellText(other, cell)) << other;
}

TEST(ServerTypes, NumberTexts) {
  EXPECT_EQ(TrimNumberText("12.50"), "12.5");
  EXPECT_EQ(TrimNumberText("3.000"), "3");
  EXPECT_EQ(TrimNumberText("100"), "100");
  EXPECT_EQ(TrimNumberText("-0.50"), "-0.5");
  EXPECT_EQ(TrimNumberText("0.00"), "0");
  EXPECT_EQ(TrimNumberText("-0.0"), "0");
  EXPECT_EQ(TrimNumberText("1.50e+10"), "1.50e+10");
  EXPECT_EQ(TrimNumberText("NaN"), "NaN");
}

TEST(ServerTypes, OdbcTypesMapToOracleCodes) {
  struct Case {
    int sqlType;
    uint64_t size;
    int digits, code, oraSize, precision, scale;
  } cases[] = {
      {SQL_VARCHAR, 20, 0, 1, 20, 0, 0},        {SQL_WVARCHAR, 5, 0, 1, 5, 0, 0},
      {SQL_CHAR, 3, 0, 96, 3, 0, 0},            {SQL_WCHAR, 2, 0, 96, 2, 0, 0},
      {SQL_NUMERIC, 7, 2, 2, 22, 7, 2},         {SQL_DECIMAL, 38, 0, 2, 22, 38, 0},
      {SQL_INTEGER, 10, 0, 2, 22, 10, 0},       {SQL_DOUBLE, 15, 0, 2, 22, 15, 0},
      {SQL_TYPE_DATE, 10, 0, 12, 7, 0, 0},      {SQL_TYPE_TIMESTAMP, 26, 6, 12, 7, 0, 0},
      {SQL_LONGVARCHAR, 1ull << 40, 0, 8, 2147483647, 0, 0},
      {SQL_WLONGVARCHAR, 8190, 0, 8, 8190, 0, 0}, {SQL_BINARY, 16, 0, 23, 16, 0, 0},
      {SQL_VARBINARY, 255, 0, 23, 255, 0, 0},   {SQL_LONGVARBINARY, 0, 0, 24, 0, 0, 0},
      {SQL_NUMERIC, 10, -84, 2, 22, 10, 0},     {-370, 4, 0, 0, 4, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sqlType);
    TServerColumnType t = MapOdbcType(c.sqlType, c.size, c.digits);
    EXPECT_EQ(t.Code, c.code);
    EXPECT_EQ(t.Size, c.oraSize);
    EXPECT_EQ(t.Precision, c.precision);
    EXPECT_EQ(t.Scale, c.scale);
  }
  // The data source's own type name corrects what a driver generalises.
  struct Named {
    int sqlType;
    uint64_t size;
    const char* name;
    int code, oraSize, precision, scale;
  } named[] = {
      {SQL_VARCHAR, 3, "char(3)", 96, 3, 0, 0},
      {SQL_VARCHAR, 3, "CHARACTER", 96, 3, 0, 0},
      {SQL_VARCHAR, 10, "character varying(10)", 1, 10, 0, 0},
      {SQL_LONGVARCHAR, 20000, "varchar(20000)", 1, 20000, 0, 0},
      {SQL_LONGVARCHAR, 65536, "text", 8, 65536, 0, 0},
      {SQL_DOUBLE, 7, "numeric(7, 2)", 2, 22, 7, 2},
      {SQL_DOUBLE, 15, "NUMBER", 2, 22, 15, 0},
      {SQL_INTEGER, 10, "char(2)", 2, 22, 10, 0},  // a number stays a number
  };
  for (const Named& c : named) {
    SCOPED_TRACE(c.name);
    TServerColumnType t = MapOdbcType(c.sqlType, c.size, 0, c.name);
    EXPECT_EQ(t.Code, c.code);
    EXPECT_EQ(t.Size, c.oraSize);
    EXPECT_EQ(t.Precision, c.precision);
    EXPECT_EQ(t.Scale, c.scale);
  }
}

TEST(ServerTypes, OdbcConnectionStrings) {
  EXPECT_EQ(OdbcConnectionString("DSN=orders", "scott", "tiger"), "DSN=orders;UID=scott;PWD=tiger");
  // The dialog's values replace the string's own; empty ones leave them.
  EXPECT_EQ(OdbcConnectionString("DSN=x;uid=a;Pwd={p;w};Port=1;", "b", "q"), "DSN=x;Port=1;UID=b;PWD=q");
  EXPECT_EQ(OdbcConnectionString("DSN=x;UID=a;PWD={p;w}", "", ""), "DSN=x;UID=a;PWD={p;w}");
  // Values that would break the string are braced.
  EXPECT_EQ(OdbcConnectionString("DSN=x", "a;b", "p}w{"), "DSN=x;UID={a;b};PWD={p}}w{}");
  EXPECT_EQ(OdbcConnectionString("DSN=x", "", " pw"), "DSN=x;PWD={ pw}");

  // Reading one value back: the first of its name, braces undone.
  EXPECT_EQ(OdbcConnectionValue("dsn=a;Driver = {Q;L}}x} ;DRIVER=b", "DRIVER"), "Q;L}x");
  EXPECT_EQ(OdbcConnectionValue("Driver=/usr/lib/d.so;DSN=a", "DRIVER"), "/usr/lib/d.so");
  EXPECT_EQ(OdbcConnectionValue("DRIVERS=a", "DRIVER"), "");
}

TEST(ServerTypes, StatementsLoseTheirTrailingSemicolons) {
  EXPECT_EQ(TrimStatement("SELECT 1;\r\n"), "SELECT 1");
  EXPECT_EQ(TrimStatement("SELECT 1 ; ; "), "SELECT 1");
  EXPECT_EQ(TrimStatement("SELECT 1 -- note"), "SELECT 1 -- note");
  EXPECT_EQ(TrimStatement("SELECT ';'"), "SELECT ';'");
  for (const char* blank : {"", " ;\r\n", "-- only a note", "/* open", "/* a */ ; -- b"}) {
    EXPECT_TRUE(TrimStatement(blank).empty()) << blank;
  }
}

TEST(ServerTypes, TransactionWordsByLeadingWords) {
  using W = TTransactionWord;
  const struct {
    const char* Sql;
    W Want;
  } cases[] = {
      {"begin", W::Begin},
      {"  /* x */ START TRANSACTION", W::Begin},
      {"COMMIT WORK", W::End},
      {"end", W::End},
      {"ROLLBACK", W::End},
      {"rollback to savepoint a", W::Other},
      {"ROLLBACK WORK TO a", W::Other},
      {"-- c\nVACUUM", W::Outside},
      {"create database x", W::Outside},
      {"CREATE UNIQUE INDEX CONCURRENTLY i ON t(a)", W::Outside},
      {"PRAGMA journal_mode = WAL", W::Outside},
      {"UPDATE T SET begin = 1", W::Other},
      {"CREATE TABLE committed (a int)", W::Other},
      {"", W::Other},
  };
  for (const auto& c : cases) EXPECT_EQ(TransactionWord(c.Sql), c.Want) << c.Sql;
}

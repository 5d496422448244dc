#include <gtest/gtest.h>

#include "core/Sjis.h"
#include "core/SqlScript.h"

TEST(SqlScript, BlankRemarks) {
  struct Case {
    const char* name;
    std::string in, out;
  } cases[] = {
      {"rem", "rem nothing", std::string(11, ' ')},
      {"remark", "  REMARK x", std::string(10, ' ')},
      {"any REM word", "REMAINING_QTY,", std::string(14, ' ')},
      {"line comment first", "-- REM x", "-- REM x"},
      {"after a closed comment", "/* note */ REM x", "/* NOTE */      "},
      {"other word", "select rem from t", "select rem from t"},
      {"tab", "\trem", "\t   "},
      {"double-byte after", SJ("rem ソ表"), std::string(4 + 4, ' ')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TStrings lines{c.in};
    BlankRemarks(lines);
    EXPECT_EQ(lines[0], c.out);
  }
}

TEST(SqlScript, BlankRemarksCarriesBlockCommentsAcrossLines) {
  TStrings lines{"/* a", "rem still inside */ rem x", "select 1 from dual", "R"};
  BlankRemarks(lines);
  EXPECT_EQ(lines[0], "/* a");
  EXPECT_EQ(lines[1], "REM STILL INSIDE */      ");
  EXPECT_EQ(lines[2], "select 1 from dual");
  EXPECT_EQ(lines[3], "R");  // a one-character line is never examined
}

TEST(SqlScript, IsQuery) {
  struct Case {
    const char* name;
    TStrings lines;
    bool query;
  } cases[] = {
      {"comment across lines", {"/* a", "b */ SELECT 1 FROM DUAL"}, true},
      {"comment right before", {"/*c*/SELECT 1 FROM DUAL"}, true},
      {"one-character line passed over", {"(", "SELECT * FROM T)"}, true},
      {"update", {"UPDATE T SET A = 1"}, false},
      {"lower case", {"  select * from t"}, true},
      {"prefix only", {"SELECTED"}, true},
      {"only line comments", {"-- a", "--b"}, false},
      {"unclosed comment", {"/* select", "select 1"}, false},
      {"remarks first", {"REM x", "REMARK y", "", "select 1"}, true},
      {"with", {"WITH q AS (SELECT 1) SELECT * FROM q"}, false},
      {"parenthesis on the line", {"(SELECT 1)"}, false},
      {"open-close mark", {"/*/ select 1"}, true},
      {"empty", {}, false},
      {"blank", {"   ", "\t"}, false},
      {"double-byte word", {SJ("　select")}, false},
      {"double-byte comment", {SJ("/* 表ソ */ select 1")}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(IsQuery(c.lines), c.query);
  }
}

// Workbooks read back by openpyxl, as a spreadsheet program would open them.

#include "storage/ResultXlsx.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "CellStore.h"
#include "core/Sjis.h"
#include "storage/AtomicFile.h"
#include "support/TempDir.h"
#include "support/XlsxDump.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Listing(const TTempDir& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.Path())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ResultXlsxTest, CellsFollowTheDeclaredTypeAndReadBack) {
  TTempDir dir;
  TSqlInfo info;
  TCellStore cells(info);
  info.SetColCount(3);
  const std::pair<const char*, int> columns[] = {{"数値", otNumber}, {"日付", otDate}, {"名前", otVarchar2}};
  for (int i = 0; i < 3; ++i) {
    info.SetColName(i, SJ(columns[i].first));
    info.DefineColumn(i, columns[i].second, 22, 0, 0);
  }
  struct TCase {
    int col;
    const char* text;  // UTF-8, converted to cp932 as the grid holds it
    const char* read;  // what openpyxl sees; "" for no cell at all
  };
  const TCase cases[] = {
      {1, "123", "n\t123\t0\t0\t0"},
      {1, "-1234.50", "n\t-1234.5\t0.00\t0\t0"},  // the trailing zero stays shown
      {1, "0.001", "n\t0.001\t0.000\t0\t0"},
      {1, "123456789012345", "n\t123456789012345\t0\t0\t0"},
      {1, "007", "s\t'007'\tGeneral\t0\t0"},
      {1, "12345678901234567890", "s\t'12345678901234567890'\tGeneral\t0\t0"},
      {1, "1234567890123456", "s\t'1234567890123456'\tGeneral\t0\t0"},
      {1, "1.0000000000000000", "s\t'1.0000000000000000'\tGeneral\t0\t0"},
      {1, "-0", "s\t'-0'\tGeneral\t0\t0"},
      {1, "1e5", "s\t'1e5'\tGeneral\t0\t0"},
      {1, ".5", "s\t'.5'\tGeneral\t0\t0"},
      {1, "", ""},  // NULL
      {2, "2006/12/31 23:59:59", "d\t2006-12-31T23:59:59\tyyyy/mm/dd hh:mm:ss\t0\t0"},
      {2, "2006/12/31", "d\t2006-12-31T00:00:00\tyyyy/mm/dd hh:mm:ss\t0\t0"},
      {2, "1900/02/28 00:00:00", "s\t'1900/02/28 00:00:00'\tGeneral\t0\t0"},  // before serial dates agree
      {2, "2006/02/29 00:00:00", "s\t'2006/02/29 00:00:00'\tGeneral\t0\t0"},
      {2, "", ""},
      {3, "山田 太郎①", "s\t'山田 太郎①'\tGeneral\t0\t0"},
      {3, "A\r\nB", "s\t'A\\nB'\tGeneral\t0\t1"},
      {3, "123", "s\t'123'\tGeneral\t0\t0"},
      {3, "=1+1", "s\t'=1+1'\tGeneral\t0\t0"},
      {3, "a\tb", "s\t'a\\tb'\tGeneral\t0\t0"},
      // Spreadsheets read "_x0041_" as "A"; openpyxl shows the escapes as stored.
      {3, "_x0041_ _x00", "s\t'_x005F_x0041_ _x00'\tGeneral\t0\t0"},
      // XML holds no control characters: they take the same form.
      {3, "a\rb\x01", "s\t'a_x000D_b_x0001_'\tGeneral\t0\t0"},
      {3, " <a & b> ", "s\t' <a & b> '\tGeneral\t0\t0"},
  };
  // And rows that fill their columns, or leave the middle one empty.
  const int rows = static_cast<int>(std::size(cases)) + 2;
  info.SetRowPos(rows);
  for (int r = 1; r <= rows - 2; ++r) info.SetCell(cases[r - 1].col, r, SJ(cases[r - 1].text));
  for (int c = 1; c <= 3; ++c) info.SetCell(c, rows - 1, c == 2 ? "2006/01/02" : "9");
  info.SetCell(1, rows, "8");
  info.SetCell(3, rows, "7");
  info.SetDate(EncodeDateTime(2006, 12, 31, 23, 59, 58));
  info.SetStartTime(EncodeDateTime(2006, 12, 31, 23, 59, 58));
  info.SetEndTime(EncodeDateTime(2007, 1, 1, 0, 0, 3));
  info.SetDiffTime(EncodeTime(0, 0, 5));
  info.SetStatus(SJ("完了"));
  info.SetRowCount(40);
  info.Sql = {"SELECT *", SJ("FROM 表 -- 注")};

  const std::string file = dir.File("r.xlsx");
  SaveXlsx(info, file, {40, 120, 200});
  EXPECT_EQ(Listing(dir), std::vector<std::string>{"r.xlsx"});  // no temporary left
  const TXlsxDump book = ReadXlsx(dir, file);

  ASSERT_EQ(book.sheets.size(), 2u);
  const std::string first = book.sheets[0];
  EXPECT_EQ(first.substr(0, first.rfind('\t')), "実行結果\tA2\tA1:C" + std::to_string(rows + 1));
  // Wider in the grid, wider in the sheet.
  double a = 0, b = 0, c = 0;
  ASSERT_EQ(std::sscanf(first.substr(first.rfind('\t') + 1).c_str(), "A=%lf,B=%lf,C=%lf", &a, &b, &c), 3) << first;
  EXPECT_LT(a, b);
  EXPECT_LT(b, c);
  EXPECT_EQ(book.Cell("実行結果!A1"), "s\t'数値'\tGeneral\t1\t0");
  EXPECT_EQ(book.Cell("実行結果!C1"), "s\t'名前'\tGeneral\t1\t0");
  const std::string full = std::to_string(rows), gap = std::to_string(rows + 1);
  for (const auto& [coord, read] : {std::pair{"A" + full, "n\t9\t0\t0\t0"}, {"B" + full, "d\t2006-01-02T00:00:00\tyyyy/mm/dd hh:mm:ss\t0\t0"},
                                    {"C" + full, "s\t'9'\tGeneral\t0\t0"}, {"A" + gap, "n\t8\t0\t0\t0"},
                                    {"B" + gap, ""}, {"C" + gap, "s\t'7'\tGeneral\t0\t0"}})
    EXPECT_EQ(book.Cell("実行結果!" + coord), read) << coord;
  for (int r = 1; r <= rows - 2; ++r) {
    const TCase& k = cases[r - 1];
    SCOPED_TRACE(k.text);
    const std::string coord = "実行結果!" + std::string(1, static_cast<char>('A' + k.col - 1)) + std::to_string(r + 1);
    EXPECT_EQ(book.Cell(coord), k.read);
  }

  EXPECT_EQ(book.sheets[1], "SQL\tNone\tNone\t");
  const std::map<std::string, std::string> sql = {
      {"A1", "s\t'日付'\tGeneral\t1\t0"},    {"B1", "d\t2006-12-31T23:59:58\tyyyy/mm/dd\t0\t0"},
      {"A2", "s\t'開始'\tGeneral\t1\t0"},    {"B2", "d\t2006-12-31T23:59:58\thh:mm:ss\t0\t0"},
      {"B3", "d\t2007-01-01T00:00:03\thh:mm:ss\t0\t0"},
      {"A4", "s\t'差'\tGeneral\t1\t0"},      {"B4", "d\t00:00:05\thh:mm:ss\t0\t0"},
      {"A5", "s\t'状況'\tGeneral\t1\t0"},    {"B5", "s\t'完了'\tGeneral\t0\t0"},
      {"A6", "s\t'取得行'\tGeneral\t1\t0"},  {"B6", "n\t" + std::to_string(rows) + "\t0\t0\t0"},
      {"A7", "s\t'合計行'\tGeneral\t1\t0"},  {"B7", "n\t40\t0\t0\t0"},
      {"A9", "s\t'ＳＱＬ文'\tGeneral\t1\t0"}, {"A10", "s\t'SELECT *'\tGeneral\t0\t0"},
      {"A11", "s\t'FROM 表 -- 注'\tGeneral\t0\t0"},
  };
  for (const auto& [coord, read] : sql) EXPECT_EQ(book.Cell("SQL!" + coord), read) << coord;
}

TEST(ResultXlsxTest, WhatASheetCannotHoldIsRefusedAndTheOldFileStays) {
  TTempDir dir;
  const std::string file = dir.File("old.xlsx");
  WriteFileBytes(file, "previous workbook");
  struct TCase {
    const char* name;
    int rows, cols, cellChars;
    const char* message;
  } const cases[] = {
      {"rows", kXlsxMaxDataRows + 1, 2, 1, "Excel ブックに書込める行数は 1,048,575 行までです。"},
      {"columns", 1, kXlsxMaxColumns + 1, 1, "Excel ブックに書込める列数は 16,384 列までです。"},
      {"long cell", 3, 1, kXlsxMaxCellChars + 1, "Excel ブックのセルに書込める文字数は 32,767 文字までです。"},
  };
  for (const TCase& k : cases) {
    SCOPED_TRACE(k.name);
    TSqlInfo info;
    info.SetColCount(k.cols);
    info.SetRowPos(k.rows);
    // Cells served by a handler: a result of any size costs nothing to make.
    int calls = 0;
    info.OnGetCell = [&](TSqlInfo&, int, int r) {
      ++calls;
      return std::string(r == 2 ? static_cast<size_t>(k.cellChars) : 1, 'x');
    };
    try {
      SaveXlsx(info, file);
      ADD_FAILURE() << "written";
    } catch (const TXlsxLimitError& e) {
      EXPECT_EQ(e.what(), SJ(k.message));
    }
    // The bounds of the result are refused before a single cell is read.
    if (k.cellChars == 1) {
      EXPECT_EQ(calls, 0);
    }
    EXPECT_EQ(ReadFileBytes(file), "previous workbook");
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"old.xlsx"});
  }
}

TEST(ResultXlsxTest, AnUnwritableTargetIsAFileErrorAndTheExtensionAnyCase) {
  TTempDir dir;
  TSqlInfo info;
  fs::create_directory(dir.File("d.xlsx"));
  EXPECT_THROW(SaveXlsx(info, dir.File("d.xlsx")), TFileError);
  EXPECT_THROW(SaveXlsx(info, dir.File("missing/r.xlsx")), TFileError);
  EXPECT_EQ(Listing(dir), std::vector<std::string>{"d.xlsx"});
  {
    // The disk fills up in the middle of the sheet.
    struct TReset {
      ~TReset() { SetAtomicWriteFailAfterForTesting(-1); }
    } reset;
    TSqlInfo big;
    big.SetColCount(4);
    big.SetRowPos(200000);
    big.OnGetCell = [](TSqlInfo&, int c, int r) { return std::to_string(c * r); };
    SetAtomicWriteFailAfterForTesting(100000);
    EXPECT_THROW(SaveXlsx(big, dir.File("full.xlsx")), TFileError);
    EXPECT_EQ(Listing(dir), std::vector<std::string>{"d.xlsx"});
  }
  // An empty result is still a workbook.
  SaveXlsx(info, dir.File("e.XLSX"));
  EXPECT_EQ(ReadXlsx(dir, dir.File("e.XLSX")).sheets.size(), 2u);

  for (const auto& [name, xlsx] : {std::pair{"a.xlsx", true}, {"a.XlSx", true}, {"a.xls", false}, {"xlsx", false},
                                   {"d.xlsx/a", false}, {"a.xlsx.csv", false}}) {
    EXPECT_EQ(IsXlsxFile(name), xlsx) << name;
  }
}

}  // namespace

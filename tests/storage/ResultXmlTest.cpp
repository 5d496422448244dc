#include "storage/ResultXml.h"

#include <gtest/gtest.h>

#include "CellStore.h"
#include "Golden.h"
#include "core/Sjis.h"
#include "storage/ResultFile.h"
#include "storage/StorageError.h"
#include "support/TempDir.h"

namespace {

void FillRunInfo(TSqlInfo& info, int rows) {
  info.SetDate(EncodeDate(2001, 4, 3));
  info.SetStartTime(EncodeTime(9, 5, 7));
  info.SetEndTime(EncodeTime(9, 5, 8));
  info.SetDiffTime(EncodeTime(0, 0, 1));
  info.SetRowPos(rows);
  info.SetRowCount(rows);
}

// The result of the golden file result.xml.
void FillGoldenResult(TSqlInfo& info) {
  info.Sql = {"select empno, ename, note", "", "from emp where ename <> 'X'"};
  FillRunInfo(info, 2);
  info.SetStatus(SJ("完了 \"a&b<c\""));
  info.SetColCount(3);
  info.SetColName(0, "EMPNO");
  info.DefineColumn(0, otNumber, 22, 4, 0);
  info.SetColName(1, SJ("社員&名"));
  info.DefineColumn(1, otVarchar2, 10, 0, 0);
  info.SetColName(2, "NOTE");
  info.DefineColumn(2, otVarchar2, 200, 0, 0);
  for (auto [c, r, text] : {std::tuple{1, 1, "7369"}, {2, 1, "SMITH"}, {1, 2, "7499"}})
    info.SetCell(c, r, text);
  info.SetCell(2, 2, SJ("表示"));
  info.SetCell(3, 1, "");
  info.SetCell(3, 2, "first & line\r\n\r\nlast");
}

// A result file with the given rows inside <Result> after a 2-column header.
std::string ResultWith(const std::string& info, const std::string& rows) {
  return "<?xml version = \"1.0\" encoding = \"Shift_JIS\" ?>\r\n<Result>\r\n<Sql><Li>q</Li></Sql>\r\n" + info +
         "<Header>\r\n<C1 Type=\"VARCHAR2\" Size=\"10\" Precision=\"0\" Scale=\"0\">A</C1>\r\n"
         "<C2 Type=\"NUMBER\" Size=\"22\" Precision=\"5\" Scale=\"2\">B</C2>\r\n</Header>\r\n" +
         rows + "</Result>\r\n";
}

std::string InfoWith(int rowPos, int colCount) {
  return "<Info><Date>2001/4/3</Date><StartTime>9:05:07</StartTime><EndTime>09:05:08</EndTime>"
         "<DiffTime>00:00:01</DiffTime><Status>S</Status><RowPos>" +
         std::to_string(rowPos) + "</RowPos><RowCount>9</RowCount><ColCount>" + std::to_string(colCount) +
         "</ColCount></Info>\r\n";
}

std::string WithoutSql(std::string bytes) {
  const std::string sql = "<Sql><Li>q</Li></Sql>\r\n";
  return bytes.replace(bytes.find(sql), sql.size(), "");
}

struct Loaded {
  TSqlInfo info;
  TCellStore store{info};
  bool ok = false;
};

void LoadBytes(Loaded& l, const std::string& bytes) {
  TTempDir dir;
  WriteFileBytes(dir.File("r.xml"), bytes);
  l.ok = OpenResultFile(l.info, dir.File("r.xml"));
}

TEST(ResultXmlTest, WritesAndReadsTheGoldenResult) {
  TTempDir dir;
  TSqlInfo out;
  TCellStore outCells(out);
  FillGoldenResult(out);
  SaveXml(out, dir.File("r.xml"));
  EXPECT_EQ(ReadFileBytes(dir.File("r.xml")), Golden("result.xml"));

  TSqlInfo in;
  TCellStore cells(in);
  std::vector<bool> stripes;
  in.OnRowMax = [&](TSqlInfo& s) {
    if (s.RowMax() > 0) stripes.push_back(s.AltRow);
  };
  LoadXml(in, GoldenPath("result.xml"));
  EXPECT_EQ(in.Sql, out.Sql);
  EXPECT_EQ(in.Date(), out.Date());
  EXPECT_EQ(FormatTime(in.StartTime()), "09:05:07");
  EXPECT_EQ(FormatTime(in.DiffTime()), "00:00:01");
  EXPECT_EQ(in.Status(), out.Status());
  EXPECT_EQ(in.RowPos(), 2);
  EXPECT_EQ(in.RowMax(), 2);
  EXPECT_EQ(in.ColCount(), 3);
  EXPECT_EQ(in.ColName(1), SJ("社員&名"));
  EXPECT_EQ(in.ColType(0), "NUMBER");
  EXPECT_EQ(in.ColPrecision(0), 4);
  EXPECT_EQ(in.ColLength(0), 4);
  EXPECT_EQ(in.ColAlign(0), caRight);
  EXPECT_EQ(in.ColSize(2), 200);
  EXPECT_EQ(cells.cells, outCells.cells);  // names in row 0 and every cell
  EXPECT_TRUE(cells.Has(3, 1));            // the empty cell arrives too
  EXPECT_EQ(stripes, (std::vector<bool>{false, true}));
}

TEST(ResultXmlTest, SectionsOfTheHistoryIndex) {
  TSqlInfo run;
  run.Sql = {"select empno, ename from emp"};
  FillRunInfo(run, 14);
  run.SetStatus(SJ("完了"));
  run.SetColCount(2);
  run.SetColName(0, "EMPNO");
  run.DefineColumn(0, otNumber, 22, 4, 0);
  run.SetColName(1, "ENAME");
  run.DefineColumn(1, otVarchar2, 10, 0, 0);

  TTinyXml doc;
  doc.AddNode(xnDeclaration, "", "", 0);
  doc.AddNode(xnComment, "", SJ("注意！！このファイルを変更しないで下さい。"), 0);
  doc.AddNode(xnComment, "", SJ("履歴"), 0);
  doc.AddNode(xnStartTag, "Log", "", 0);
  doc.AddNode(xnStartTag, "Row", "", 1);
  WriteSqlSection(doc, run, 2);
  WriteInfoSection(doc, run, 2);
  WriteHeaderSection(doc, run, 2);
  doc.AddNode(xnEndTag, "Row", "", 1);
  doc.AddNode(xnEndTag, "Log", "", 0);
  EXPECT_EQ(doc.Bytes(), Golden("history_index.xml"));

  TTinyXml in;
  in.LoadFromBytes(doc.Bytes());
  const int row = in.FindChild(in.FindNext(0, "Log"), "Row");
  TSqlInfo back;
  ReadSqlSection(back, in, in.FindChild(row, "Sql"));
  EXPECT_TRUE(ReadInfoSection(back, in, row));
  EXPECT_TRUE(ReadHeaderSection(back, in, row));
  EXPECT_EQ(back.Sql, run.Sql);
  EXPECT_EQ(back.RowPos(), 14);
  EXPECT_EQ(back.Status(), run.Status());
  EXPECT_EQ(back.ColName(1), "ENAME");
  EXPECT_EQ(back.ColTypeCode(1), otVarchar2);
  EXPECT_EQ(back.ColLength(1), 10);
}

TEST(ResultXmlTest, CellsSurviveARoundTrip) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {SJ("表示ソ能"), SJ("表示ソ能")},  // second bytes 0x5C and 0x7C
      {"a\"b'c<d>e&f", "a\"b'c<d>e&f"},
      {"a,b,", "a,b,"},
      {"  lead\ttab  ", "  lead\ttab  "},
      {"A\r\nB", "A\r\nB"},
      {"A\nB\rC", "A\r\nB\r\nC"},
      {"A\r\n", "A\r\n"},
      {"A\n", "A\r\n"},  // a lone final break is no longer lost
      {"A\r", "A\r\n"},
      {"\r\n", "\r\n"},
      {"\r\n\r\nx\r\n\r\n", "\r\n\r\nx\r\n\r\n"},
      {"<Li>x</Li>", "<Li>x</Li>"},
      {"&amp;", "&amp;"},
  };
  TTempDir dir;
  TSqlInfo out;
  TCellStore outCells(out);
  out.Sql = {"", " select 1 ", "", "<&>", ""};
  FillRunInfo(out, static_cast<int>(cases.size()));
  out.SetStatus("x");
  DefineColumns(out, {"A", "B"});
  for (size_t i = 0; i < cases.size(); ++i) {
    out.SetCell(1, static_cast<int>(i) + 1, cases[i].first);
    out.SetCell(2, static_cast<int>(i) + 1, "#");
  }
  ASSERT_TRUE(SaveResultFile(out, dir.File("r.XmL")));

  TSqlInfo in;
  TCellStore cells(in);
  ASSERT_TRUE(OpenResultFile(in, dir.File("r.XmL")));
  EXPECT_EQ(in.Sql, out.Sql);
  EXPECT_EQ(in.Status(), "x");
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(cells.Get(1, static_cast<int>(i) + 1), cases[i].second);
    EXPECT_EQ(cells.Get(2, static_cast<int>(i) + 1), "#");
  }
}

TEST(ResultXmlTest, ResultWithoutRows) {
  TTempDir dir;
  TSqlInfo out;
  FillRunInfo(out, 0);
  out.SetStatus("s");
  DefineColumns(out, {"A"});
  SaveXml(out, dir.File("r.xml"));
  const std::string bytes = ReadFileBytes(dir.File("r.xml"));
  EXPECT_NE(bytes.find("</Header>\r\n</Result>\r\n"), std::string::npos);
  TSqlInfo in;
  LoadXml(in, dir.File("r.xml"));
  EXPECT_EQ(in.RowPos(), 0);
  EXPECT_EQ(in.ColName(0), "A");
  EXPECT_TRUE(in.Sql.empty());
}

TEST(ResultXmlTest, MissingRowsAndCells) {
  const std::string cells = "<C1>a</C1><C2>b</C2>";
  {
    SCOPED_TRACE("R2 missing of three");
    Loaded l;
    LoadBytes(l, ResultWith(InfoWith(3, 2), "<R1>" + cells + "</R1>\r\n<R3>" + cells + "</R3>\r\n"));
    EXPECT_TRUE(l.ok);
    EXPECT_EQ(l.info.RowMax(), 1);
    EXPECT_EQ(l.info.RowPos(), 3);
    EXPECT_EQ(l.info.Status(), "Err");
  }
  {
    SCOPED_TRACE("cell missing: the rest of the row stays empty, the next row is read");
    Loaded l;
    LoadBytes(l, ResultWith(InfoWith(2, 2), "<R1><C2>b</C2></R1>\r\n<R2>" + cells + "</R2>\r\n"));
    EXPECT_EQ(l.info.RowMax(), 2);
    EXPECT_EQ(l.info.Status(), "Err");
    EXPECT_FALSE(l.store.Has(2, 1));
    EXPECT_EQ(l.store.Get(2, 2), "b");
  }
  {
    SCOPED_TRACE("Header lists fewer columns than ColCount");
    Loaded l;
    LoadBytes(l, ResultWith(InfoWith(1, 3), "<R1>" + cells + "</R1>\r\n"));
    EXPECT_TRUE(l.ok);
    EXPECT_EQ(l.info.Status(), "S");
    EXPECT_EQ(l.info.ColName(1), "B");
    EXPECT_EQ(l.info.ColScale(1), 2);
    EXPECT_EQ(l.info.RowMax(), 0);
  }
  {
    SCOPED_TRACE("ColCount 0 never completes the Header, so no row is read");
    Loaded l;
    LoadBytes(l, ResultWith(InfoWith(1, 0), "<R1>" + cells + "</R1>\r\n"));
    EXPECT_TRUE(l.ok);
    EXPECT_EQ(l.info.ColCount(), 0);
    EXPECT_EQ(l.info.RowMax(), 0);
    EXPECT_EQ(l.info.Status(), "S");
  }
  {
    SCOPED_TRACE("Header lists more columns than ColCount; Info after Header");
    std::string bytes = ResultWith("", "<R1>" + cells + "</R1>\r\n");
    bytes.insert(bytes.find("</Result>"), InfoWith(1, 1));
    Loaded l;
    LoadBytes(l, bytes);
    EXPECT_EQ(l.info.ColCount(), 1);
    EXPECT_EQ(l.info.ColName(0), "A");
    EXPECT_EQ(l.store.Get(1, 1), "a");
    EXPECT_FALSE(l.store.Has(2, 1));
    EXPECT_EQ(l.info.Status(), "S");
  }
  {
    SCOPED_TRACE("mismatched end tag inside a row hides the rest");
    Loaded l;
    LoadBytes(l, ResultWith(InfoWith(2, 2), "<R1>" + cells + "</R1>\r\n<R2><C1>a</C9>\r\n</R2>\r\n"));
    EXPECT_TRUE(l.ok);
    EXPECT_EQ(l.store.Get(2, 1), "b");
    EXPECT_EQ(l.info.Status(), "Err");
  }
}

TEST(ResultXmlTest, RejectedFilesKeepWhatWasRead) {
  struct Case {
    const char* name;
    std::string bytes;
    bool ok;
    const char* status;
    int colCount;
  } cases[] = {
      {"no root", "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n<Other/>\r\n", true, "", 0},
      {"no Sql", WithoutSql(ResultWith(InfoWith(1, 2), "")), true, "", 0},
      {"bad RowPos", ResultWith("<Info><Date>2001/04/03</Date><StartTime>1:2:3</StartTime><EndTime>1:2:3</EndTime>"
                                "<DiffTime>0:0:0</DiffTime><Status>S</Status><RowPos>x1</RowPos></Info>",
                                ""),
       false, "S", 0},
      {"bad date", ResultWith("<Info><Date>2001/13/03</Date></Info>", ""), false, "", 0},
      {"bad time", ResultWith("<Info><Date>2001/12/03</Date><StartTime>25:00:00</StartTime></Info>", ""), false, "", 0},
      {"absurd column count", ResultWith(InfoWith(1, 2000000000), ""), false, "S", 0},
      {"wrong declaration", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Result/>", false, "", 0},
      {"empty file", "", false, "", 0},
      {"binary garbage", std::string("\x7F" "ELF\x02\x01\x01\0\0<\0>\r\n\xFF\xFE", 17), false, "", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Loaded l;
    l.info.SetStatus("before");
    LoadBytes(l, c.bytes);
    EXPECT_EQ(l.ok, c.ok);
    EXPECT_EQ(l.info.Status(), c.status);  // cleared first, then what was read
    EXPECT_EQ(l.info.ColCount(), c.colCount);
  }

  // A column description without its size is as bad as a wrong number.
  std::string noSize = ResultWith(InfoWith(0, 2), "");
  noSize.replace(noSize.find(" Size=\"22\""), 10, "");
  Loaded l;
  LoadBytes(l, noSize);
  EXPECT_FALSE(l.ok);
  EXPECT_EQ(l.info.ColName(0), "A");

  TSqlInfo info;
  EXPECT_THROW(LoadXml(info, "/nonexistent/r.xml"), TFileError);
}

TEST(ResultXmlTest, SqlSectionReadsLiAndDtAlike) {
  TTinyXml doc;
  doc.LoadFromBytes(
      "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n"
      "<Sql>\r\n<Li>a &amp; b</Li>\r\n<!--note-->\r\n<Li/>\r\n<X>skip</X>\r\n<Dt>c</Dt>\r\n</Sql>\r\n");
  TSqlInfo info;
  ReadSqlSection(info, doc, doc.FindNext(0, "Sql"));
  EXPECT_EQ(info.Sql, (TStrings{"a & b", "", "c"}));
}

}  // namespace

#include "storage/ResultCsv.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "CellStore.h"
#include "Golden.h"
#include "core/Sjis.h"
#include "storage/AtomicFile.h"
#include "storage/ResultFile.h"
#include "storage/StorageError.h"
#include "support/TempDir.h"

namespace {

struct Loaded {
  TSqlInfo info;
  TCellStore store{info};
  bool ok = false;
};

std::vector<TStrings> Records(const std::string& data) {
  std::vector<TStrings> out;
  TCsvReader r(data);
  while (r.Next()) {
    TStrings values;
    for (size_t i = 0; i < r.Count(); ++i) values.push_back(r.Value(i));
    out.push_back(values);
  }
  return out;
}

TEST(ResultCsvTest, WritesTheGoldenRecords) {
  TTempDir dir;
  TSqlInfo info;
  TCellStore cells(info);
  DefineColumns(info, {"N1", "N2", "N3", "N4", "N5"});
  info.SetRowPos(1);
  for (auto [c, text] : {std::pair{1, "abc"}, {2, "a b"}, {3, "x\"y"}, {4, ""}, {5, "1,5"}}) info.SetCell(c, 1, text);
  SaveCsv(info, dir.File("v.csv"));
  EXPECT_EQ(ReadFileBytes(dir.File("v.csv")), Golden("csv_values.csv"));

  TSqlInfo lines;
  TCellStore lineCells(lines);
  DefineColumns(lines, {"TEXT"});
  lines.SetRowPos(2);
  lines.SetCell(1, 1, "A\r\nB");
  lines.SetCell(1, 2, "");
  SaveCsv(lines, dir.File("l.csv"));
  EXPECT_EQ(ReadFileBytes(dir.File("l.csv")), Golden("csv_lines.csv"));

  Loaded back;
  back.ok = OpenResultFile(back.info, GoldenPath("csv_lines.csv"));
  EXPECT_TRUE(back.ok);
  EXPECT_EQ(back.info.RowPos(), 2);  // records, not physical lines
  EXPECT_EQ(back.info.RowCount(), 2);
  EXPECT_EQ(back.store.Get(1, 1), "A\r\nB");
  EXPECT_TRUE(back.store.Has(1, 2));
  EXPECT_EQ(back.store.Get(1, 2), "");
}

TEST(ResultCsvTest, Utf8FilesCarryAByteOrderMarkAndReadBackAsUtf8) {
  TTempDir dir;
  TSqlInfo info;
  TCellStore cells(info);
  DefineColumns(info, {SJ("氏名"), "X"});
  info.SetRowPos(2);
  info.SetCell(1, 1, SJ("山田 太郎"));
  info.SetCell(2, 1, SJ("表,\"ソ\""));
  info.SetCell(1, 2, "A\r\nB");
  info.SetCell(2, 2, "");
  ASSERT_TRUE(SaveResultFile(info, dir.File("u.CSV"), TCsvEncoding::Utf8));
  // The same quoting and line ends, in UTF-8 after the mark.
  EXPECT_EQ(ReadFileBytes(dir.File("u.CSV")),
            "\xEF\xBB\xBF氏名,X,\r\n\"山田 太郎\",\"表,\"\"ソ\"\"\",\r\n\"A\r\nB\",,\r\n");
  // Without a mark the file stays Shift_JIS.
  ASSERT_TRUE(SaveResultFile(info, dir.File("s.csv")));
  EXPECT_EQ(ReadFileBytes(dir.File("s.csv")).substr(0, 5), SJ("氏名,"));

  Loaded back;
  ASSERT_TRUE(OpenResultFile(back.info, dir.File("u.CSV")));
  EXPECT_EQ(back.info.ColCount(), 2);
  EXPECT_EQ(back.info.ColName(0), SJ("氏名"));
  EXPECT_EQ(back.info.RowPos(), 2);
  EXPECT_EQ(back.store.Get(2, 1), SJ("表,\"ソ\""));
  EXPECT_EQ(back.store.Get(1, 2), "A\r\nB");

  // Another program's UTF-8 file: what Shift_JIS cannot hold becomes "?".
  WriteFileBytes(dir.File("o.csv"), "\xEF\xBB\xBFname,\r\n\xF0\x9F\x98\x80\xE2\x91\xA0,\r\n");
  Loaded other;
  ASSERT_TRUE(OpenResultFile(other.info, dir.File("o.csv")));
  EXPECT_EQ(other.store.Get(1, 1), "?" + SJ("①"));
  // Only the mark makes a file UTF-8.
  WriteFileBytes(dir.File("m.csv"), "\xEF\xBBname,\r\n");
  Loaded mark;
  ASSERT_TRUE(OpenResultFile(mark.info, dir.File("m.csv")));
  EXPECT_EQ(mark.info.ColName(0).size(), 6u);

  // A Shift_JIS file whose first name starts with the mark's bytes quotes
  // it, so it is not read back as UTF-8 (found by fuzzing).
  TSqlInfo odd;
  TCellStore oddCells(odd);
  DefineColumns(odd, {"\xEF\xBB\xBFQ", "B"});
  ASSERT_TRUE(SaveResultFile(odd, dir.File("q.csv")));
  EXPECT_EQ(ReadFileBytes(dir.File("q.csv")), "\"\xEF\xBB\xBFQ\",B,\r\n");
  Loaded quoted;
  ASSERT_TRUE(OpenResultFile(quoted.info, dir.File("q.csv")));
  EXPECT_EQ(quoted.info.ColName(0), "\xEF\xBB\xBFQ");
}

TEST(ResultCsvTest, CellsSurviveARoundTrip) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", ""},
      {SJ("表示ソ能"), SJ("表示ソ能")},
      {"\"", "\""},
      {"\"\"a\"", "\"\"a\""},
      {"a,b,", "a,b,"},
      {"line ends with a comma,\r\nnext,\r\n", "line ends with a comma,\r\nnext,\r\n"},
      {"  lead and trail  ", "  lead and trail  "},
      {"\ttab", "\ttab"},
      {"A\nB\rC\r\n", "A\r\nB\r\nC\r\n"},
      {",", ","},
      {std::string("nul\0byte", 8), std::string("nul\0byte", 8)},
      {"x\"y,", "x\"y,"},
      // Damaged double-byte text: a lead byte before a line break or a quote.
      {"\x81\rX", "\x81\r\nX"},
      {"\x81\",z", "\x81\",z"},
      {"\x81 ", "\x81 "},
  };
  TTempDir dir;
  TSqlInfo out;
  TCellStore outCells(out);
  DefineColumns(out, {SJ("名 前"), "B,"});
  out.SetRowPos(static_cast<int>(cases.size()));
  for (size_t i = 0; i < cases.size(); ++i) {
    out.SetCell(1, static_cast<int>(i) + 1, cases[i].first);
    out.SetCell(2, static_cast<int>(i) + 1, cases[i].first);
  }
  ASSERT_TRUE(SaveResultFile(out, dir.File("r.CSV")));

  Loaded in;
  in.ok = OpenResultFile(in.info, dir.File("r.CSV"));
  ASSERT_TRUE(in.ok);
  EXPECT_EQ(in.info.RowPos(), static_cast<int>(cases.size()));
  EXPECT_EQ(in.info.RowMax(), static_cast<int>(cases.size()));
  EXPECT_EQ(in.info.ColName(0), SJ("名 前"));
  EXPECT_EQ(in.info.ColName(1), "B,");
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(in.store.Get(1, static_cast<int>(i) + 1), cases[i].second);
    EXPECT_EQ(in.store.Get(2, static_cast<int>(i) + 1), cases[i].second);
  }
}

TEST(ResultCsvTest, SplittingRecordsAndValues) {
  struct Case {
    const char* name;
    std::string data;
    std::vector<TStrings> records;
  } cases[] = {
      {"other program, no final commas", "A,B\r\n1,2\n", {{"A", "B"}, {"1", "2"}}},
      {"blanks inside unquoted values stay", "New York , Tokyo\t,\r\n", {{"New York", "Tokyo"}}},
      {"empty values", ",,x,,\r\n", {{"", "", "x", ""}}},
      {"blank value", " , ,\r\n", {{"", ""}}},
      {"text after a closing quote", "\"ab\"cd,\r\n", {{"ab", "cd"}}},
      {"quote inside an unquoted value", "x\"y,z\r\n", {{"x\"y", "z"}}},
      {"quoted line breaks become CR LF", "\"a\nb\rc\",\r\nnext,\r\n", {{"a\r\nb\r\nc"}, {"next"}}},
      {"empty line is an empty record", "a,\r\n\r\nb,\r\n", {{"a"}, {}, {"b"}}},
      {"no final line break", "a,b", {{"a", "b"}}},
      {"unclosed quote runs to the end", "\"abc,\r\ndef,\r\n", {{"abc,\r\ndef"}}},
      {"unclosed quote without line end", "\"abc", {{"ab"}}},
      {"control bytes", std::string("\x01" "a\x1F,\x7F,\r\n", 8), {{"a", "\x7F"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Records(c.data), c.records);
  }
}

TEST(ResultCsvTest, LoadingAResultFile) {
  TTempDir dir;
  const std::string f = dir.File("r.csv");
  WriteFileBytes(f, "A,B,\r\n1,2,3,\r\n\"x\r\ny\",z,\r\n");
  TFixedClock clock;
  clock.now = EncodeDateTime(2020, 1, 1, 0, 0, 0);
  TSqlInfo info;
  TCellStore cells(info);
  std::vector<int> rowPosWhenRowsArrive;
  info.OnRowMax = [&](TSqlInfo& s) {
    if (s.RowMax() > 0) rowPosWhenRowsArrive.push_back(s.RowPos());
  };
  ASSERT_TRUE(OpenResultFile(info, f));
  EXPECT_EQ(info.Status(), "CSV");
  TDateTime modified = 0;
  ASSERT_TRUE(FileModTime(f, modified));
  EXPECT_EQ(info.Date(), modified);
  EXPECT_EQ(info.StartTime(), modified);
  EXPECT_EQ(info.EndTime(), 0);
  EXPECT_EQ(rowPosWhenRowsArrive, (std::vector<int>{2, 2}));
  EXPECT_EQ(info.ColCount(), 2);
  EXPECT_EQ(info.ColTypeCode(0), 0);
  EXPECT_EQ(info.ColType(0), SJ("不明"));
  EXPECT_EQ(info.ColLength(1), 1);
  EXPECT_EQ(info.ColSize(1), 0);
  EXPECT_EQ(cells.Get(3, 1), "3");  // a value beyond the columns is offered to the store
  EXPECT_EQ(cells.Get(1, 2), "x\r\ny");
  EXPECT_FALSE(info.AltRow);

  // Column names only, and an empty file.
  WriteFileBytes(f, "A,B,\r\n");
  ASSERT_TRUE(OpenResultFile(info, f));
  EXPECT_EQ(info.ColCount(), 2);
  EXPECT_EQ(info.RowPos(), 0);
  EXPECT_EQ(info.RowMax(), 0);
  WriteFileBytes(f, "");
  ASSERT_TRUE(OpenResultFile(info, f));
  EXPECT_EQ(info.ColCount(), 0);
  EXPECT_EQ(info.Status(), "");
  EXPECT_EQ(info.Date(), clock.now);  // as Clear left it
}

TEST(ResultCsvTest, FormatFollowsTheExtension) {
  TTempDir dir;
  TSqlInfo info;
  TCellStore cells(info);
  DefineColumns(info, {"A"});
  info.SetStatus("kept");
  WriteFileBytes(dir.File("result.txt"), "X,\r\n");
  for (const char* name : {"result.txt", "result", "dir.csv/result", "result.csv.bak"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(OpenResultFile(info, dir.File(name)));
    EXPECT_EQ(info.Status(), "kept");
    EXPECT_FALSE(SaveResultFile(info, dir.File(name + std::string(".new"))));
  }
  EXPECT_EQ(ReadFileBytes(dir.File("result.txt")), "X,\r\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("result.txt.new")));

  WriteFileBytes(dir.File("RESULT.Csv"), "X,\r\n");
  EXPECT_TRUE(OpenResultFile(info, dir.File("RESULT.Csv")));
  EXPECT_EQ(info.ColName(0), "X");
  EXPECT_FALSE(OpenResultFile(info, dir.File("missing.csv")));
  EXPECT_FALSE(OpenResultFile(info, dir.Path() + ".csv/"));

  ASSERT_TRUE(SaveResultFile(info, dir.File("out.XML")));
  EXPECT_EQ(ReadFileBytes(dir.File("out.XML")).substr(0, 5), "<?xml");
}

TEST(ResultCsvTest, FailedSaveKeepsThePreviousFile) {
  TTempDir dir;
  TSqlInfo info;
  TCellStore cells(info);
  DefineColumns(info, {"A"});
  for (const char* name : {"r.csv", "r.xml"}) {
    WriteFileBytes(dir.File(name), "old");
    SetAtomicWriteFailAfterForTesting(2);
    EXPECT_FALSE(SaveResultFile(info, dir.File(name)));
    SetAtomicWriteFailAfterForTesting(-1);
    EXPECT_EQ(ReadFileBytes(dir.File(name)), "old");
  }
  EXPECT_THROW(SaveCsv(info, dir.File("none/r.csv")), TFileError);
}

TEST(ResultCsvTest, HistoryResultFiles) {
  TTempDir dir;
  TSqlInfo run;
  TCellStore runCells(run);
  run.SetDate(EncodeDate(2006, 12, 31));
  run.SetStartTime(EncodeTime(23, 59, 59));
  EXPECT_EQ(RunFile(run, dir.Path()), dir.Path() + "20061231_235959.csv");
  DefineColumns(run, {"A", "B"});
  run.SetRowPos(1);
  run.SetCell(1, 1, "first");
  ASSERT_TRUE(SaveHistoryCsv(run, dir.Path()));
  run.SetRowPos(2);
  run.SetCell(1, 1, "x");
  run.SetCell(2, 1, "y");
  run.SetCell(1, 2, "z\r\nw");
  ASSERT_TRUE(SaveHistoryCsv(run, dir.Path()));  // the same second: replaced

  // Rows are added to what the history index set; nothing is cleared.
  TSqlInfo entry;
  TCellStore cells(entry);
  run.CopyTo(entry);
  entry.SetStatus(SJ("完了"));
  entry.SetColName(0, "KEEP");
  ASSERT_TRUE(LoadHistoryCsv(entry, dir.Path()));
  EXPECT_EQ(entry.ColName(0), "KEEP");
  EXPECT_EQ(entry.Status(), SJ("完了"));
  EXPECT_EQ(cells.Get(1, 1), "x");
  EXPECT_EQ(cells.Get(2, 1), "y");
  EXPECT_EQ(cells.Get(1, 2), "z\r\nw");
  EXPECT_EQ(cells.setCalls, 4);

  // A deleted or empty file is a failure the caller reports, not a crash.
  WriteFileBytes(RunFile(run, dir.Path()), "");
  EXPECT_FALSE(LoadHistoryCsv(entry, dir.Path()));
  std::filesystem::remove(RunFile(run, dir.Path()));
  EXPECT_FALSE(LoadHistoryCsv(entry, dir.Path()));
  EXPECT_EQ(cells.setCalls, 4);
}

}  // namespace

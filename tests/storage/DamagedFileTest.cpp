// Damaged result files of every shape: each load ends with true or false and
// never crashes, whatever the bytes.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <random>

#include "CellStore.h"
#include "Golden.h"
#include "storage/Options.h"
#include "storage/ResultCsv.h"
#include "storage/ResultFile.h"
#include "storage/ResultXml.h"
#include "support/TempDir.h"

namespace {

void LoadAll(const TTempDir& dir, const std::string& bytes) {
  for (const char* name : {"d.xml", "d.csv"}) {
    WriteFileBytes(dir.File(name), bytes);
    TSqlInfo info;
    TCellStore cells(info);
    OpenResultFile(info, dir.File(name));
    EXPECT_GE(info.ColCount(), 0);
  }
  WriteFileBytes(dir.File("opt.xml"), bytes);
  TOptionFile options;
  ReadOptionFile(dir.File("opt.xml"), options);
}

TEST(DamagedFileTest, EveryTruncationOfAResultFile) {
  TTempDir dir;
  for (const char* golden : {"result.xml", "history_index.xml", "settings_defaults.xml", "csv_lines.csv"}) {
    const std::string bytes = Golden(golden);
    for (size_t cut = 0; cut <= bytes.size(); ++cut) LoadAll(dir, bytes.substr(0, cut));
  }
}

TEST(DamagedFileTest, RandomBytesAndFlippedBytes) {
  TTempDir dir;
  std::mt19937 rng(20061231);
  const std::string alphabet = "<>/\"'&;=, \t\r\nCRLiDt0123456789$\x81\x5C\x95";
  for (int i = 0; i < 300; ++i) {
    std::string bytes = "<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\r\n";
    const int n = static_cast<int>(rng() % 200);
    for (int k = 0; k < n; ++k) bytes += alphabet[rng() % alphabet.size()];
    LoadAll(dir, bytes);
  }
  const std::string result = Golden("result.xml");
  for (int i = 0; i < 300; ++i) {
    std::string bytes = result;
    for (int k = 0; k < 3; ++k) bytes[rng() % bytes.size()] = static_cast<char>(rng() % 256);
    LoadAll(dir, bytes);
  }
}

constexpr size_t kMiB = size_t{1} << 20;

// A file refused as damaged: the load fails, and unless the damage lies in a
// cell after the column descriptions, no column or cell was made.
void ExpectRefused(const std::string& file, bool beforeColumns = true) {
  TSqlInfo info;
  TCellStore cells(info);
  int columnCounts = 0;
  info.OnColCount = [&](TSqlInfo&) { ++columnCounts; };
  EXPECT_FALSE(OpenResultFile(info, file));
  EXPECT_EQ(cells.setCalls, 0);
  if (!beforeColumns) return;
  EXPECT_EQ(info.ColCount(), 0);
  EXPECT_EQ(columnCounts, 1);  // only the Clear at the start
}

std::string CsvOfColumns(int n) {
  std::string data;
  for (int i = 0; i < n; ++i) data += "c,";
  return data + "\r\n";
}

TEST(DamagedFileTest, ColumnCountIsBounded) {
  TTempDir dir;
  {
    SCOPED_TRACE("CSV within the bound");
    WriteFileBytes(dir.File("ok.csv"), CsvOfColumns(65536) + CsvOfColumns(3));
    TSqlInfo info;
    TCellStore cells(info);
    ASSERT_TRUE(OpenResultFile(info, dir.File("ok.csv")));
    EXPECT_EQ(info.ColCount(), 65536);
    EXPECT_EQ(cells.Get(3, 1), "c");
  }
  for (const std::string& data : {CsvOfColumns(65537), "A,\r\n" + CsvOfColumns(65537), std::string(10 * kMiB, ',')}) {
    SCOPED_TRACE("CSV of " + std::to_string(data.size()) + " bytes");
    WriteFileBytes(dir.File("wide.csv"), data);
    ExpectRefused(dir.File("wide.csv"));
  }
  for (int n : {65536, 65537}) {
    SCOPED_TRACE("XML of " + std::to_string(n) + " columns");
    TSqlInfo out;
    TCellStore outCells(out);
    out.SetColCount(n);
    for (int i = 0; i < n; ++i) out.SetColName(i, "N");
    out.SetStatus("OK");
    out.SetRowPos(1);
    out.SetCell(n, 1, "last");
    const std::string file = dir.File("wide" + std::to_string(n) + ".xml");
    ASSERT_TRUE(SaveResultFile(out, file));
    if (n > 65536) {
      ExpectRefused(file);
      continue;
    }
    TSqlInfo info;
    TCellStore cells(info);
    ASSERT_TRUE(OpenResultFile(info, file));
    EXPECT_EQ(info.ColCount(), n);
    EXPECT_EQ(cells.Get(n, 1), "last");
  }
}

// Just over 256 MiB: one cell spread over lines that are each within the
// bound, and one line of cells that are each within it.
TEST(DamagedFileTest, CellAndLineSizesAreBounded) {
  // Files this size go to memory where it can be had, not to a shared disk.
  const char* tmp = std::getenv("TMPDIR");
  const std::string oldTmp = tmp ? tmp : "";
  if (access("/dev/shm", W_OK) == 0) setenv("TMPDIR", "/dev/shm", 1);
  TTempDir dir;
  if (tmp) setenv("TMPDIR", oldTmp.c_str(), 1);
  else unsetenv("TMPDIR");
  const std::string half(128 * kMiB + 1, 'a');
  const std::string file = dir.File("big.csv");
  WriteFileBytes(file, "A,\r\n\"" + half + "\r\n" + half + "\",\r\n");
  ExpectRefused(file);
  WriteFileBytes(file, "A,B,\r\n" + half + "," + half + ",\r\n");
  ExpectRefused(file);

  // A result file of one cell, that cell then made large.
  TSqlInfo out;
  TCellStore outCells(out);
  DefineColumns(out, {"A"});
  out.SetStatus("OK");
  out.SetRowPos(1);
  out.SetCell(1, 1, "X");
  ASSERT_TRUE(SaveResultFile(out, dir.File("small.xml")));
  const std::string small = ReadFileBytes(dir.File("small.xml"));
  const size_t cell = small.find("<C1>X</C1>");
  ASSERT_NE(cell, std::string::npos);
  const struct {
    std::string cell;
    bool beforeColumns;  // a line is refused as the file loads, a cell when it is read
  } cases[] = {
      {"<C1>\r\n\t\t\t<Li>" + half + "</Li>\r\n\t\t\t<Dt>" + half + "</Dt>\r\n\t\t</C1>", false},
      {"<C1>" + half + half + "</C1>", true},
  };
  for (const auto& c : cases) {
    WriteFileBytes(dir.File("big.xml"), small.substr(0, cell) + c.cell + small.substr(cell + 10));
    ExpectRefused(dir.File("big.xml"), c.beforeColumns);
  }
}

// A value left open at the end of the file keeps its line breaks whole,
// also when the file ends in a blank line.
TEST(DamagedFileTest, OpenQuoteBeforeABlankLastLine) {
  TTempDir dir;
  const std::string file = dir.File("open.csv");
  WriteFileBytes(file, "\"\n\n");
  TSqlInfo info;
  TCellStore cells(info);
  ASSERT_TRUE(OpenResultFile(info, file));
  ASSERT_EQ(info.ColCount(), 1);
  EXPECT_EQ(info.ColName(0), "\r\n");

  WriteFileBytes(file, "A,\r\n\"x\n\n");
  ASSERT_TRUE(OpenResultFile(info, file));
  EXPECT_EQ(cells.Get(1, 1), "x\r\n");
  // Saved and loaded again, the value stays as it is.
  ASSERT_TRUE(SaveResultFile(info, dir.File("again.csv")));
  ASSERT_TRUE(OpenResultFile(info, dir.File("again.csv")));
  EXPECT_EQ(cells.Get(1, 1), "x\r\n");
}

}  // namespace

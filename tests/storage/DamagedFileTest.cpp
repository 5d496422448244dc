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
#include "Refused.h"
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

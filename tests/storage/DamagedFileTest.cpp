// Damaged result files of every shape: each load ends with true or false and
// never crashes, whatever the bytes.

#include <gtest/gtest.h>

#include <random>

#include "CellStore.h"
#include "Golden.h"
#include "storage/Options.h"
#include "storage/ResultFile.h"
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

}  // namespace

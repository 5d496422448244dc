#pragma once
// What the tests of damaged files expect of a file refused as damaged.

#include <gtest/gtest.h>

#include <string>

#include "CellStore.h"
#include "storage/ResultFile.h"

constexpr size_t kMiB = size_t{1} << 20;

// A file refused as damaged: the load fails, and unless the damage lies in a
// cell after the column descriptions, no column or cell was made.
inline void ExpectRefused(const std::string& file, bool beforeColumns = true) {
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


#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "views/CellStore.h"

TEST(CellStore, CellsKeepTheirTextsWhateverOrderTheyAreWritten) {
  TCellStore s;
  s.SetRowCount(3);
  s.Set(2, 1, "two");
  s.Set(0, 1, "zero");
  s.Set(1, 1, "");
  s.Set(1, 1, "one");
  s.Set(0, 1, "0");
  EXPECT_EQ(s.Get(0, 1), "0");
  EXPECT_EQ(s.Get(1, 1), "one");
  EXPECT_EQ(s.Get(2, 1), "two");
  EXPECT_EQ(s.Get(3, 1), "");
  EXPECT_EQ(s.Get(0, 0), "");
  // Outside the store: empty, and writes are ignored.
  s.Set(0, 3, "x");
  s.Set(-1, 0, "x");
  EXPECT_EQ(s.Get(0, 3), "");
  EXPECT_EQ(s.Get(-1, 0), "");
  // Texts taken from the store itself: from the open row into another row,
  // and from a packed row (here the only one) into itself.
  s.Set(3, 1, s.Get(1, 1));
  EXPECT_EQ(s.Get(3, 1), "one");
  s.Set(0, 2, s.Get(2, 1));
  EXPECT_EQ(s.Get(0, 2), "two");
  s.Set(0, 2, "");
  s.Set(1, 1, s.Get(2, 1));
  EXPECT_EQ(s.Get(1, 1), "two");
  EXPECT_EQ(s.Get(3, 1), "one");
  // A row written left to right, some cells skipped and one set empty:
  // read while it is open, then packed.
  const std::string row2[] = {"a", "", "", "d", "", "", "g"};
  for (int c : {0, 3, 4, 6}) s.Set(c, 2, row2[c]);
  std::vector<std::string_view> cells;
  for (int packed = 0; packed < 2; ++packed) {
    for (int c = 0; c < 7; ++c) EXPECT_EQ(s.Get(c, 2), row2[c]) << c;
    s.GetRow(2, cells);
    EXPECT_EQ(cells, (std::vector<std::string_view>(std::begin(row2), std::end(row2)))) << packed;
    s.Set(1, 1, "");
  }
  for (int c = 0; c < 7; ++c) s.Set(c, 2, "");
  // Clearing every cell leaves nothing behind.
  for (int c = 0; c < 4; ++c) s.Set(c, 1, "");
  EXPECT_EQ(s.LiveBytes(), 0u);
}

TEST(CellStore, LongCellsAndLongRowsChangeTheIndexWidth) {
  // Rows are packed when another row is written, so each case writes row 0
  // and reads it back after touching row 1.
  TCellStore s;
  s.SetRowCount(2);
  for (const size_t size : {size_t{255}, size_t{256}, size_t{300}, size_t{70000}, size_t{3}}) {
    SCOPED_TRACE(size);
    const std::string big(size, 'x');
    s.Set(0, 0, "a");
    s.Set(1, 0, big);
    s.Set(2, 0, "c");
    s.Set(0, 1, "other row");
    EXPECT_EQ(s.Get(0, 0), "a");
    EXPECT_EQ(s.Get(1, 0), big);
    EXPECT_EQ(s.Get(2, 0), "c");
    EXPECT_EQ(s.Get(0, 1), "other row");
    std::vector<std::string_view> cells;
    s.GetRow(0, cells);
    EXPECT_EQ(cells, (std::vector<std::string_view>{"a", big, "c"}));
  }
}

TEST(CellStore, RemovedRowsAndColumnsComeBackEmpty) {
  TCellStore s;
  s.SetRowCount(4);
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 3; ++c) s.Set(c, r, std::to_string(r * 10 + c));
  s.SetRowCount(2);
  s.TruncateCols(2);
  s.SetRowCount(4);
  EXPECT_EQ(s.Get(0, 3), "");
  EXPECT_EQ(s.Get(2, 1), "");
  EXPECT_EQ(s.Get(1, 1), "11");
  EXPECT_EQ(s.Get(0, 0), "0");
}

TEST(CellStore, RewritingRowsDoesNotGrowWithoutBound) {
  TCellStore s;
  const int rows = 20000;
  s.SetRowCount(rows);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < 8; ++c) s.Set(c, r, "value");
  const size_t filled = s.AllocatedBytes();
  // Rewrite every row several times out of order (as a sort does).
  for (int pass = 0; pass < 5; ++pass)
    for (int r = rows - 1; r >= 0; --r) s.Set(pass % 8, r, pass % 2 ? "other" : "value");
  EXPECT_LE(s.AllocatedBytes(), filled * 3);
  for (int r = 0; r < rows; r += 997) EXPECT_EQ(s.Get(3, r), "other") << r;
  // The packed rows cost a few bytes per cell beyond their text.
  const double perCell = static_cast<double>(s.LiveBytes()) / (rows * 8) - 5;
  EXPECT_LT(perCell, 3.0);
}

// A new result drops a big one down to a row or two at once; what stays
// keeps its texts (also a row still open for writing) and the arena shrinks.
TEST(CellStore, DroppingMostRowsKeepsTheRestAndGivesTheArenaBack) {
  TCellStore s;
  const int rows = 100000;
  s.SetRowCount(rows);
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < 4; ++c) s.Set(c, r, "row " + std::to_string(r) + " col " + std::to_string(c));
  s.Set(1, 1, "rewritten");  // leaves garbage behind and row 1 open
  const size_t full = s.AllocatedBytes();
  s.SetRowCount(3);
  EXPECT_EQ(s.Get(1, 1), "rewritten");
  EXPECT_EQ(s.Get(3, 2), "row 2 col 3");
  EXPECT_EQ(s.Get(0, 0), "row 0 col 0");
  EXPECT_LT(s.AllocatedBytes(), full / 8);
  EXPECT_EQ(s.LiveBytes(), 50u + 48u + 50u);  // per row: header, four lengths, texts
  s.SetRowCount(rows);
  EXPECT_EQ(s.Get(2, 50000), "");
  s.Set(0, 50000, "again");
  EXPECT_EQ(s.Get(0, 50000), "again");
  s.SetRowCount(0);
  EXPECT_EQ(s.LiveBytes(), 0u);
}

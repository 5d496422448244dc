// Row order by key lists: byte-wise text order, key priority and direction,
// missing rows, and the working cell table under the result set's counts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/Sjis.h"
#include "core/SqlInfo.h"
#include "views/RowOps.h"

namespace {

using TRows = std::vector<std::vector<std::string>>;

// A working result holding rows (all of the same width) as rows 1 .. n.
struct TWorking {
  TSqlInfo info;
  TCellTable table{info};

  explicit TWorking(const TRows& rows) {
    info.SetColCount(rows.empty() ? 1 : static_cast<int>(rows[0].size()));
    info.SetRowCount(static_cast<int>(rows.size()));
    info.SetRowPos(static_cast<int>(rows.size()));
    for (size_t r = 0; r < rows.size(); ++r)
      for (size_t c = 0; c < rows[r].size(); ++c)
        info.SetCell(static_cast<int>(c + 1), static_cast<int>(r + 1), rows[r][c]);
  }
  TRows Rows() {
    TRows out;
    for (int r = 1; r <= info.RowPos(); ++r) {
      out.emplace_back();
      for (int c = 1; c <= info.ColCount(); ++c) out.back().push_back(info.GetCell(c, r));
    }
    return out;
  }
  TRows Sorted(const TKeyList& keys) {
    SortRows(table, 1, info.RowPos(), keys);
    return Rows();
  }
};

}  // namespace

TEST(RowOps, KeyOrderAndDirectionDecide) {
  TWorking w({{"a", "x"}, {"a", "y"}, {"b", "x"}});
  EXPECT_EQ(w.Sorted({2, -1}), (TRows{{"b", "x"}, {"a", "x"}, {"a", "y"}}));
  EXPECT_EQ(w.Sorted({-2, 1}), (TRows{{"a", "y"}, {"a", "x"}, {"b", "x"}}));
}

TEST(RowOps, TextsCompareAsUnsignedBytes) {
  struct TCase {
    const char* name;
    std::vector<std::string> column;
    TKeyList keys;
    std::vector<std::string> sorted;
  };
  const std::string kana = SJ("あ"), kanji = SJ("漢");  // lead bytes 0x82 and 0x8A
  const TCase cases[] = {
      {"numbers as text", {"3", "100", "20"}, {1}, {"100", "20", "3"}},
      {"10 before 9", {"9", "10"}, {1}, {"10", "9"}},
      {"empty first ascending", {"b", "", "a"}, {1}, {"", "a", "b"}},
      {"empty last descending", {"b", "", "a"}, {-1}, {"b", "a", ""}},
      {"shorter prefix first", {"abc", "ab", "abd"}, {1}, {"ab", "abc", "abd"}},
      {"high bytes after ASCII", {kanji, "z", kana}, {1}, {"z", kana, kanji}},
      {"letter case", {"a", "B", "b", "A"}, {1}, {"A", "B", "a", "b"}},
      {"long texts alike at first",
       {"abcdefghij2", "abcdefgh", "abcdefghij1", "abcdefg", "abcdefgz"},
       {-1},
       {"abcdefgz", "abcdefghij2", "abcdefghij1", "abcdefgh", "abcdefg"}},
      {"zero bytes", {std::string("a\0", 2), "a", std::string("a\0\0", 3), std::string("a\0\0\0\0\0\0\0", 8)},
       {1}, {"a", std::string("a\0", 2), std::string("a\0\0", 3), std::string("a\0\0\0\0\0\0\0", 8)}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TRows rows;
    for (const auto& v : c.column) rows.push_back({v});
    TRows expected;
    for (const auto& v : c.sorted) expected.push_back({v});
    TWorking w(rows);
    EXPECT_EQ(w.Sorted(c.keys), expected);
  }
}

TEST(RowOps, EqualRowsKeepTheirOrderAndSortingTwiceChangesNothing) {
  TWorking w({{"2", "first"}, {"1", "a"}, {"2", "second"}, {"1", "b"}, {"2", "third"}});
  const TRows once = w.Sorted({1});
  EXPECT_EQ(once, (TRows{{"1", "a"}, {"1", "b"}, {"2", "first"}, {"2", "second"}, {"2", "third"}}));
  EXPECT_EQ(w.Sorted({1}), once);
  // No keys: every row equals every other, nothing moves.
  EXPECT_EQ(w.Sorted({}), once);

  TWorking one(TRows{{"x", "y"}});
  EXPECT_EQ(one.Sorted({-1}), (TRows{{"x", "y"}}));
  TWorking none(TRows{});
  EXPECT_EQ(none.Sorted({1}), TRows{});
}

TEST(RowOps, SortingPartOfTheRowsLeavesTheOthersInPlace) {
  TWorking w({{"d"}, {"c"}, {"b"}, {"a"}});
  SortRows(w.table, 2, 3, {1});
  EXPECT_EQ(w.Rows(), (TRows{{"d"}, {"b"}, {"c"}, {"a"}}));
  // A range past the table's rows is cut to them.
  SortRows(w.table, 1, 99, {1});
  EXPECT_EQ(w.Rows(), (TRows{{"a"}, {"b"}, {"c"}, {"d"}}));
}

TEST(RowOps, CompareRowsAcrossResultsAndMissingRows) {
  TWorking a({{"1", "x"}, {"2", "x"}});
  TWorking b({{"1", "y"}, {"3", "x"}});
  EXPECT_EQ(CompareRows(a.table, 1, b.table, 1, {1}), 0);
  EXPECT_EQ(CompareRows(a.table, 1, b.table, 1, {1, 2}), -1);
  EXPECT_EQ(CompareRows(a.table, 1, b.table, 1, {1, -2}), 1);
  EXPECT_EQ(CompareRows(a.table, 2, b.table, 2, {1}), -1);
  EXPECT_EQ(CompareRows(a.table, 2, b.table, 2, {}), 0);
  // A missing row sorts after any present one.
  EXPECT_EQ(CompareRows(a.table, -1, b.table, 1, {1}), 1);
  EXPECT_EQ(CompareRows(a.table, 1, b.table, -1, {1}), -1);
}

TEST(RowOps, ExchangeRowsSwapsEveryColumn) {
  TWorking w({{"a", "", "c"}, {"x", "y", ""}});
  ExchangeRows(w.table, 1, 2);
  EXPECT_EQ(w.Rows(), (TRows{{"x", "y", ""}, {"a", "", "c"}}));
}

TEST(RowOps, CellTableFollowsTheCountsAndKeepsRowsWrittenPastThem) {
  TSqlInfo info;
  TCellTable table(info);
  info.SetColCount(2);
  info.SetRowCount(1);
  info.SetCell(1, 1, "a");
  info.SetCell(2, 1, "b");
  info.SetCell(3, 1, "beyond the columns");
  // A reported row count short of the rows (a damaged file) loses none.
  info.SetCell(1, 3, "c");
  EXPECT_EQ(info.GetCell(3, 1), "");
  EXPECT_EQ(info.GetCell(1, 3), "c");
  // Fewer columns drop the texts of the removed ones only.
  info.SetColCount(1);
  EXPECT_EQ(info.GetCell(1, 1), "a");
  EXPECT_EQ(info.GetCell(2, 1), "");
  info.SetRowCount(0);
  EXPECT_EQ(info.GetCell(1, 1), "");
  // Clearing the result set empties the table.
  info.SetRowCount(1);
  info.SetCell(1, 1, "d");
  info.Clear();
  info.SetColCount(1);
  info.SetRowCount(1);
  EXPECT_EQ(info.GetCell(1, 1), "");
}

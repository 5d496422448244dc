#include <gtest/gtest.h>

#include <string>

#include "core/sessions/KeptRows.h"

// Rows read back across many blocks are the rows kept, each cell with its
// kind: texts (empty ones too), NULLs and date-times.
TEST(KeptRows, RowsComeBackAcrossBlocksAsTheyWereKept) {
  TKeptRows kept(3);
  const long long rows = 10000;  // several blocks
  for (long long r = 0; r < rows; ++r) {
    kept.AddText(std::to_string(r));
    if (r % 3 == 0)
      kept.AddNull();
    else
      kept.AddText(r % 3 == 1 ? std::string() : std::string(static_cast<size_t>(r % 50), 'x'));
    kept.AddDate(45000.5 + static_cast<double>(r));
    kept.EndRow();
  }
  ASSERT_EQ(kept.Rows(), rows);
  EXPECT_EQ(kept.Cell(0).Kind, TValueKind::Null) << "no row sought yet";
  for (long long r = 0; r < rows; ++r) {
    kept.Seek(r);
    SCOPED_TRACE(r);
    const TFieldValue id = kept.Cell(0), middle = kept.Cell(1), date = kept.Cell(2);
    ASSERT_EQ(id.Kind, TValueKind::Text);
    ASSERT_EQ(id.Text, std::to_string(r));
    if (r % 3 == 0) {
      ASSERT_EQ(middle.Kind, TValueKind::Null);
    } else {
      ASSERT_EQ(middle.Kind, TValueKind::Text);
      ASSERT_EQ(middle.Text, r % 3 == 1 ? std::string() : std::string(static_cast<size_t>(r % 50), 'x'));
    }
    ASSERT_EQ(date.Kind, TValueKind::DateTime);
    ASSERT_EQ(date.Date, 45000.5 + static_cast<double>(r));
  }
  // Outside the row's columns, and past the last row: nothing.
  EXPECT_EQ(kept.Cell(3).Kind, TValueKind::Null);
  kept.Seek(rows);
  EXPECT_EQ(kept.Cell(0).Kind, TValueKind::Null);
}

TEST(KeptRows, NoColumnsOrNoRowsReadAsNothing) {
  TKeptRows none(0);
  none.Seek(0);
  EXPECT_EQ(none.Rows(), 0);
  EXPECT_EQ(none.Cell(0).Kind, TValueKind::Null);
  // Rows without columns are counted and read as nothing.
  for (int i = 0; i < 3; ++i) none.EndRow();
  EXPECT_EQ(none.Rows(), 3);
  none.Seek(2);
  EXPECT_EQ(none.Cell(0).Kind, TValueKind::Null);
  TKeptRows empty(2);
  empty.Seek(0);
  EXPECT_EQ(empty.Cell(1).Kind, TValueKind::Null);
}

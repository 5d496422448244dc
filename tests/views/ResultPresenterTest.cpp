#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

#include "core/Sjis.h"
#include "core/SqlInfo.h"
#include "views/ResultPresenter.h"
#include "views/SqlGrid.h"

namespace {

struct TFixture : ::testing::Test {
  TSqlInfo info;
  TSqlGrid grid;
  TOptions options;
  TResultPresenter presenter{info, grid, [this]() -> const TOptions& { return options; }};
  int curCol = -1, curRow = -1, viewCells = 0, afterColCount = 0, afterRowMax = 0;

  void SetUp() override {
    grid.resize(632, 300);
    presenter.OnCurrentCell = [this](int c, int r) { curCol = c, curRow = r; };
    presenter.OnViewCell = [this] { ++viewCells; };
    presenter.AfterColCount = [this] { ++afterColCount; };
    presenter.AfterRowMax = [this] { ++afterRowMax; };
    presenter.Install();
    info.Clear();
  }

  // A result as the engine builds it: columns, then rows of cells.
  void Fill(const std::vector<std::pair<std::string, int>>& cols,
            const std::vector<std::vector<std::string>>& rows) {
    info.SetColCount(static_cast<int>(cols.size()));
    for (size_t i = 0; i < cols.size(); ++i) {
      info.SetColName(static_cast<int>(i), SJ(cols[i].first));
      info.DefineColumn(static_cast<int>(i), cols[i].second, 10, 5, 0);
    }
    for (const auto& row : rows) {
      info.AddRow();
      for (size_t c = 0; c < row.size(); ++c)
        info.SetCell(static_cast<int>(c) + 1, info.RowMax(), SJ(row[c]));
      info.AltRow = !info.AltRow;
    }
  }
};

}  // namespace

TEST_F(TFixture, ClearedResultResetsTheGrid) {
  EXPECT_FALSE(grid.Enabled());
  EXPECT_EQ(grid.ColCount(), 2);
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.RowHeights(0), 1);
  EXPECT_EQ(grid.RowHeights(1), 24);
  EXPECT_EQ(grid.ColWidths(0), 1);
  EXPECT_EQ(grid.ColWidths(1), 1);
  EXPECT_EQ(grid.Cells(0, 1), "0");
  EXPECT_EQ(grid.EmptyText(), SJ("結　果　表　示　領　域"));
  EXPECT_EQ(curCol, 0);
  EXPECT_EQ(curRow, 0);
  EXPECT_EQ(afterColCount, 1);
  EXPECT_EQ(afterRowMax, 0) << "RowMax 0 does nothing at all";
}

TEST_F(TFixture, QueryFillsHeaderCellsNumbersAndStripes) {
  options.NormalLineBackColor = 0xFFFFFF;
  options.BoldLineBackColor = 0x80000018;
  options.BoldLineForeColor = 0x000080;
  options.FixedRowsBackColor = 0xC0C0C0;
  options.Orientation = 1;
  options.Wordwrap = 10;
  Fill({{"ENAME", 1}, {"SAL", 2}},
       {{"SMITH", "800"}, {"ALLEN", "1600"}, {"日本語の名前", ""}});

  EXPECT_TRUE(grid.Enabled());
  EXPECT_EQ(curCol, 1);
  EXPECT_EQ(curRow, 1);
  EXPECT_EQ(grid.ColCount(), 3);
  EXPECT_EQ(grid.RowCount(), 4);
  EXPECT_EQ(grid.Cells(0, 0), "Alt + G");
  EXPECT_EQ(grid.Cells(1, 0), "ENAME");
  EXPECT_EQ(grid.Cells(2, 0), "SAL");
  EXPECT_EQ(grid.Cells(1, 3), SJ("日本語の名前"));
  EXPECT_EQ(grid.Cells(2, 2), "1600");
  for (int r = 1; r <= 3; ++r) EXPECT_EQ(grid.Cells(0, r), std::to_string(r));
  EXPECT_EQ(grid.ColWidths(0), 55);
  EXPECT_EQ(afterRowMax, 3);

  // The result set reads its cells back from the grid.
  EXPECT_EQ(info.GetCell(1, 2), "ALLEN");
  EXPECT_EQ(info.GetCell(1, 0), "ENAME");
  EXPECT_EQ(info.GetCell(3, 1), "");
  EXPECT_EQ(info.GetCell(1, 4), "");
  info.SetCell(1, 9, "ignored");
  EXPECT_EQ(grid.RowCount(), 4);

  // Heading: options, bottom/centre, vertical with the wrap setting.
  const TCellAttr head = *grid.FixedRowAttr(0);
  EXPECT_EQ(head.BackColor, 0xC0C0C0u);
  EXPECT_EQ(head.VAlign, 2);
  EXPECT_EQ(head.HAlign, 3);
  EXPECT_EQ(head.Orientation, orVertical);
  EXPECT_EQ(head.WrapCount, 10);
  EXPECT_EQ(grid.FixedColAttr(0)->HAlign, 2);
  EXPECT_EQ(grid.CellAttr(0, 0)->Orientation, orHorizontal);
  EXPECT_EQ(grid.CellAttr(0, 0)->WrapCount, 7);
  // Vertical headings make the fixed row tall: "ENAME" stacked five high.
  const int ah = grid.Metrics().ExtentOfA().Height;
  EXPECT_EQ(grid.RowHeights(0), 5 * ah + 12);

  // Numbers right-aligned through the column, stripes through the rows.
  EXPECT_EQ(grid.ColAttr(1)->HAlign, 1);
  EXPECT_EQ(grid.ColAttr(2)->HAlign, 2);
  EXPECT_EQ(grid.RowAttr(1)->BackColor, 0xFFFFFFu);
  EXPECT_EQ(grid.RowAttr(2)->BackColor, 0x80000018u);
  EXPECT_EQ(grid.RowAttr(2)->FontColor, 0x000080u);
  EXPECT_EQ(grid.RowAttr(3)->BackColor, 0xFFFFFFu);

  // Widths grew to fit, never below what the texts need.
  EXPECT_GE(grid.ColWidths(1), grid.MeasureCell(1, 3).Width);
  EXPECT_GE(grid.ColWidths(2), grid.MeasureCell(2, 2).Width);

  // A new run: cleared first, widths start over from 1.
  info.Clear();
  EXPECT_FALSE(grid.Enabled());
  EXPECT_EQ(grid.ColWidths(1), 1);
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.Cells(0, 1), "0");
  EXPECT_EQ(curCol, 0);
  options.Orientation = 0;
  info.SetColCount(1);
  EXPECT_EQ(grid.Cells(1, 1), "") << "the first row starts empty";
  Fill({{"X", 1}}, {{"a"}});
  EXPECT_EQ(grid.FixedRowAttr(0)->Orientation, orHorizontal) << "options are read at each event";
  EXPECT_EQ(grid.RowAttr(1)->BackColor, 0xFFFFFFu);
}

TEST_F(TFixture, DataCellsStopAtTheClientWidthHeadingsDoNot) {
  const std::string longText(300, 'W');
  options.Orientation = 0;
  options.Wordwrap = 0;  // an unwrapped heading (a settings file may hold 0)
  Fill({{longText, 1}, {"B", 1}}, {{"x", longText}});
  const int limit = grid.ClientWidth() - grid.ColWidths(0) - 8;
  ASSERT_GT(grid.MeasureCell(2, 1).Width, limit);
  EXPECT_EQ(grid.ColWidths(2), limit);
  EXPECT_GT(grid.ColWidths(1), limit) << "the heading is not limited";
  // A later narrower value never shrinks the column.
  info.AddRow();
  info.SetCell(2, 2, "y");
  EXPECT_EQ(grid.ColWidths(2), limit);
}

TEST_F(TFixture, FocusKeysAndClicksReachTheMainWindow) {
  Fill({{"A", 1}, {"B", 1}}, {{"1", "2"}, {"3", "4"}});
  grid.show();
  QApplication::processEvents();

  grid.OnEnter();
  EXPECT_EQ(grid.Cells(0, 0), "");
  EXPECT_EQ(grid.DefaultAttr(dkSelected)->BackColor, 0xFF0000u);
  EXPECT_EQ(grid.DefaultAttr(dkSelected)->FontColor, 0xFFFFFFu);
  grid.OnExit();
  EXPECT_EQ(grid.Cells(0, 0), "Alt + G");
  EXPECT_EQ(grid.DefaultAttr(dkSelected)->BackColor, 0x8000000Du);

  // Keyboard moves report the new current cell; Enter views it and is consumed.
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  QApplication::sendEvent(&grid, &down);
  EXPECT_EQ(curRow, 2);
  EXPECT_EQ(curCol, 1);
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(&grid, &enter);
  EXPECT_EQ(viewCells, 1);
  EXPECT_TRUE(enter.isAccepted());
  EXPECT_EQ(grid.Row(), 2) << "Enter does not move the cell";

  // A click on a cell makes it current; a double-click views it.
  const TGridRect r = grid.CellRect(2, 1);
  const QPointF at(r.Left + 2, r.Top + 2);
  QMouseEvent press(QEvent::MouseButtonPress, at, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(grid.viewport(), &press);
  EXPECT_EQ(curCol, 2);
  EXPECT_EQ(curRow, 1);
  QMouseEvent dbl(QEvent::MouseButtonDblClick, at, at, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(grid.viewport(), &dbl);
  EXPECT_EQ(viewCells, 2);
}

TEST_F(TFixture, AlignmentButtonsChangeTheHeading) {
  Fill({{"A", 1}}, {});
  const std::pair<void (TResultPresenter::*)(), std::pair<int, int>> cases[] = {
      {&TResultPresenter::VaTop, {1, 3}},    {&TResultPresenter::VaCenter, {3, 3}},
      {&TResultPresenter::VaBottom, {2, 3}}, {&TResultPresenter::HaLeft, {2, 1}},
      {&TResultPresenter::HaCenter, {2, 3}}, {&TResultPresenter::HaRight, {2, 2}},
  };
  for (const auto& [button, expect] : cases) {
    (presenter.*button)();
    EXPECT_EQ(grid.FixedRowAttr(0)->VAlign, expect.first);
    EXPECT_EQ(grid.FixedRowAttr(0)->HAlign, expect.second);
  }
}

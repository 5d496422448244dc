#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QWheelEvent>

#include "views/StringGrid.h"

namespace {

void Key(QWidget& w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QKeyEvent e(QEvent::KeyPress, key, mods);
  QApplication::sendEvent(&w, &e);
}

void Mouse(TStringGrid& g, QEvent::Type type, QPoint at, Qt::MouseButtons buttons,
           Qt::KeyboardModifiers mods = Qt::NoModifier) {
  const QPointF p(at);
  QMouseEvent e(type, p, g.viewport()->mapToGlobal(p), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                buttons, mods);
  QApplication::sendEvent(g.viewport(), &e);
}

struct TGridFixture : ::testing::Test {
  TStringGrid grid;
  int clicks = 0;
  void SetUp() override {
    grid.SetDefaultColWidth(50);
    grid.SetDefaultRowHeight(20);
    grid.SetColCount(30);
    grid.SetRowCount(1000);
    grid.resize(400, 300);
    grid.OnClick = [this] { ++clicks; };
    grid.show();
    QApplication::processEvents();
  }
};

}  // namespace

TEST_F(TGridFixture, KeyboardMovesTheCurrentCellAndKeepsItInView) {
  Key(grid, Qt::Key_Down);
  Key(grid, Qt::Key_Right);
  EXPECT_EQ(grid.Col(), 2);
  EXPECT_EQ(grid.Row(), 2);
  EXPECT_EQ(clicks, 2);
  Key(grid, Qt::Key_Up);
  Key(grid, Qt::Key_Up);  // already in the first data row: no move, no click
  EXPECT_EQ(grid.Row(), 1);
  EXPECT_EQ(clicks, 3);

  Key(grid, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(grid.Col(), 29);
  EXPECT_EQ(grid.Row(), 999);
  const TGridRect r = grid.CellRect(29, 999);
  EXPECT_GT(r.Bottom, 0);
  EXPECT_LE(r.Bottom, grid.ClientHeight());
  EXPECT_LE(r.Right, grid.ClientWidth());
  EXPECT_EQ(grid.verticalScrollBar()->value(), grid.TopRow());

  Key(grid, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(grid.Col(), 1);
  EXPECT_EQ(grid.Row(), 1);
  EXPECT_EQ(grid.TopRow(), 1);
  EXPECT_EQ(grid.LeftCol(), 1);

  Key(grid, Qt::Key_PageDown);
  EXPECT_GT(grid.Row(), 5);
  EXPECT_TRUE(grid.CellRect(1, grid.Row()).Bottom > 0);
}

TEST_F(TGridFixture, SelectionIsARectangleHoldingTheCurrentCell) {
  Key(grid, Qt::Key_Down, Qt::ShiftModifier);
  Key(grid, Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(grid.Selection(), (TGridSelection{1, 1, 2, 2}));
  Key(grid, Qt::Key_Left);
  EXPECT_EQ(grid.Selection(), (TGridSelection{1, 2, 1, 2}));

  // Without range selection (the history lists) Shift only moves.
  grid.SetRangeSelect(false);
  Key(grid, Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(grid.Selection(), (TGridSelection{1, 3, 1, 3}));

  // A selection set from outside is clamped to the data cells.
  grid.SetRangeSelect(true);
  grid.SetSelection({0, 0, 3, 5000});
  EXPECT_EQ(grid.Selection(), (TGridSelection{1, 1, 3, 999}));
  EXPECT_EQ(grid.Col(), 1);
  EXPECT_EQ(grid.Row(), 1);
}

TEST_F(TGridFixture, MouseSelectsAndResizesByTheGridLines) {
  const TGridRect a = grid.CellRect(2, 3);
  Mouse(grid, QEvent::MouseButtonPress, {a.Left + 5, a.Top + 5}, Qt::LeftButton);
  EXPECT_EQ(grid.Col(), 2);
  EXPECT_EQ(grid.Row(), 3);
  const TGridRect b = grid.CellRect(4, 5);
  Mouse(grid, QEvent::MouseMove, {b.Left + 5, b.Top + 5}, Qt::LeftButton);
  Mouse(grid, QEvent::MouseButtonRelease, {b.Left + 5, b.Top + 5}, Qt::NoButton);
  EXPECT_EQ(grid.Selection(), (TGridSelection{2, 3, 4, 5}));
  // A press on a fixed cell moves nothing.
  Mouse(grid, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton);
  Mouse(grid, QEvent::MouseButtonRelease, {5, 5}, Qt::NoButton);
  EXPECT_EQ(grid.Col(), 4);

  // Dragging the line right of column 2 in the fixed row widens it.
  const TGridRect head = grid.CellRect(2, 0);
  Mouse(grid, QEvent::MouseButtonPress, {head.Right, 5}, Qt::LeftButton);
  Mouse(grid, QEvent::MouseMove, {head.Right + 30, 5}, Qt::LeftButton);
  Mouse(grid, QEvent::MouseButtonRelease, {head.Right + 30, 5}, Qt::NoButton);
  EXPECT_EQ(grid.ColWidths(2), 80);
  // And the line below row 3 in the fixed column makes it taller.
  const TGridRect num = grid.CellRect(0, 3);
  Mouse(grid, QEvent::MouseButtonPress, {5, num.Bottom}, Qt::LeftButton);
  Mouse(grid, QEvent::MouseMove, {5, num.Bottom + 15}, Qt::LeftButton);
  Mouse(grid, QEvent::MouseButtonRelease, {5, num.Bottom + 15}, Qt::NoButton);
  EXPECT_EQ(grid.RowHeights(3), 35);
}

TEST_F(TGridFixture, CountChangesKeepTextsObjectsAndAClampedCurrentCell) {
  grid.SetCells(3, 900, "far");
  int token = 0;
  grid.SetObjects(0, 900, &token);
  grid.FocusCell(5, 950, true);
  const int before = clicks;
  grid.SetRowCount(500);
  EXPECT_EQ(grid.Row(), 499) << "clamped";
  EXPECT_EQ(clicks, before) << "a count change is no click";
  EXPECT_LE(grid.TopRow(), 499);
  grid.SetRowCount(1000);
  EXPECT_EQ(grid.Cells(3, 900), "");
  EXPECT_EQ(grid.Objects(0, 900), nullptr);
  grid.SetCells(3, 10, "kept");
  grid.SetObjects(0, 10, &token);
  grid.SetColCount(2);
  grid.SetColCount(30);
  EXPECT_EQ(grid.Cells(3, 10), "");
  EXPECT_EQ(grid.Objects(0, 10), &token);
  // Never fewer than one data row and column.
  grid.SetRowCount(0);
  grid.SetColCount(-3);
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.ColCount(), 2);
  // Outside the grid: empty and ignored.
  grid.SetCells(5, 5, "x");
  EXPECT_EQ(grid.Cells(5, 5), "");
  EXPECT_EQ(grid.ColWidths(7), 0);
}

TEST_F(TGridFixture, ScrollBarsCountRowsAndFollowGrowth) {
  grid.SetRowCount(2);
  grid.UpdateGeometries();
  for (int n = 3; n <= 5000; ++n) grid.SetRowCount(n);
  QApplication::processEvents();
  QScrollBar* v = grid.verticalScrollBar();
  EXPECT_GT(v->maximum(), 4900);
  EXPECT_LT(v->maximum(), 5000);
  v->setValue(v->maximum());  // thumb dragged to the end
  EXPECT_EQ(grid.TopRow(), v->maximum());
  const TGridRect last = grid.CellRect(1, 4999);
  EXPECT_GT(last.Bottom, 0);
  EXPECT_LE(last.Bottom, grid.ClientHeight());
}

TEST_F(TGridFixture, RowsAppendedBelowAFullViewReachTheScrollBar) {
  QScrollBar* v = grid.verticalScrollBar();
  QApplication::processEvents();
  const int before = v->maximum();
  // Rows and heights as a fetch sets them, a message pass now and then.
  for (int n = 1001; n <= 3000; ++n) {
    grid.SetRowCount(n);
    grid.SetRowHeights(n - 1, 24);
    if (n % 500 == 0) QApplication::processEvents();
  }
  QElapsedTimer waited;
  waited.start();
  while (v->maximum() < 2900 && waited.elapsed() < 2000) QApplication::processEvents(QEventLoop::AllEvents, 5);
  EXPECT_GT(v->maximum(), before + 1900);
  EXPECT_LT(v->maximum(), 3000);
}

TEST_F(TGridFixture, WheelScrollsByNotchesAndByTheSmallStepsOfATouchPad) {
  auto wheel = [this](QPoint angle) {
    const QPointF at(100, 100);
    QWheelEvent e(at, grid.viewport()->mapToGlobal(at), QPoint(), angle, Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(grid.viewport(), &e);
  };
  wheel({0, -120});
  EXPECT_EQ(grid.TopRow(), 4) << "three rows a notch";
  for (int i = 0; i < 8; ++i) wheel({0, -15});
  EXPECT_EQ(grid.TopRow(), 7) << "eight small steps make a notch";
  for (int i = 0; i < 8; ++i) wheel({-15, 0});
  EXPECT_EQ(grid.LeftCol(), 2);
  wheel({0, 120});
  EXPECT_EQ(grid.TopRow(), 4);
}

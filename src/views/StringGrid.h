#pragma once
// TStringGrid: the base grid. Cell texts (cp932), one optional object per
// cell, fixed rows and columns at the top and left that stay in view,
// column widths and row heights (resizable by dragging grid lines in the
// fixed row or column), a current cell inside a rectangular selection,
// keyboard and mouse navigation, and scrolling by whole rows and columns
// with thumb tracking.
//
// Events are std::function members, called on the UI thread; any may be
// empty. OnClick follows every move of the current cell (mouse, keyboard or
// a setter), OnEnter/OnExit follow keyboard focus (not the short loss of
// focus to a context menu, the menu bar or another window).
//
// Cost: texts live in a packed row store (see CellStore.h); growing RowCount
// by one is amortised O(1); scroll ranges are recomputed once per event-loop
// turn, and repaints are always deferred. Painting walks only the visible
// rows and columns from TopRow and LeftCol.

#include <QAbstractScrollArea>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "views/CellStore.h"
#include "views/GridText.h"

class QPainter;

// Cell rectangle in grid coordinates, all four inclusive.
struct TGridSelection {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  bool Contains(int col, int row) const {
    return col >= Left && col <= Right && row >= Top && row <= Bottom;
  }
  bool operator==(const TGridSelection&) const = default;
};

enum : unsigned { gdSelected = 1, gdFocused = 2, gdFixed = 4 };
using TGridDrawState = unsigned;

class TStringGrid : public QAbstractScrollArea {
 public:
  // A screen frame: what follows rows as they arrive (the scroll bar, a
  // progress count) repaints no more often than this.
  static constexpr int kFrameMs = 16;

  using TGridEvent = std::function<void()>;
  // key is a Qt::Key; a handler that sets it to 0 consumes the key.
  using TGridKeyEvent = std::function<void(int& key, Qt::KeyboardModifiers modifiers)>;

  explicit TStringGrid(QWidget* parent = nullptr);
  ~TStringGrid() override;

  // Counts. ColCount and RowCount are at least one more than the fixed
  // counts; changing them keeps widths, heights, texts and objects of the
  // remaining positions and calls SizeChanged.
  int ColCount() const { return static_cast<int>(colWidths_.size()); }
  int RowCount() const { return static_cast<int>(rowHeights_.size()); }
  void SetColCount(int n);
  void SetRowCount(int n);
  int FixedCols() const { return fixedCols_; }
  int FixedRows() const { return fixedRows_; }
  void SetFixedCols(int n);
  void SetFixedRows(int n);

  // Setting a default applies it to every column (row).
  int DefaultColWidth() const { return defaultColWidth_; }
  int DefaultRowHeight() const { return defaultRowHeight_; }
  void SetDefaultColWidth(int w);
  void SetDefaultRowHeight(int h);
  // 0 outside the grid; setters ignore positions outside it. Negative
  // sizes count as 0.
  int ColWidths(int col) const { return col >= 0 && col < ColCount() ? colWidths_[col] : 0; }
  int RowHeights(int row) const { return row >= 0 && row < RowCount() ? rowHeights_[row] : 0; }
  void SetColWidths(int col, int w);
  void SetRowHeights(int row, int h);

  // Texts: empty outside the grid; setting outside it does nothing.
  // CellView is valid until the next change of any text.
  std::string Cells(int col, int row) const { return std::string(CellView(col, row)); }
  std::string_view CellView(int col, int row) const;
  void SetCells(int col, int row, std::string_view text);
  // The row's texts from column 0 on, in one pass over the row; columns past
  // the last returned are empty. Valid as CellView is.
  void RowView(int row, std::vector<std::string_view>& cells) const;
  // Object references per cell, owned by whoever stores them. Objects of
  // removed rows and columns are forgotten (not deleted).
  void* Objects(int col, int row) const;
  void SetObjects(int col, int row, void* object);

  // Current cell (never fixed) and selection (always containing it).
  int Col() const { return col_; }
  int Row() const { return row_; }
  void SetCol(int col) { FocusCell(col, row_, true); }
  void SetRow(int row) { FocusCell(col_, row, true); }
  // Moves the current cell (clamped into the data cells) and scrolls it into
  // view. moveAnchor: the selection becomes the cell alone; otherwise it
  // spans from the anchor to the cell (only with RangeSelect).
  void FocusCell(int col, int row, bool moveAnchor);
  TGridSelection Selection() const { return sel_; }
  // The selection is clamped to the data cells; the current cell moves to
  // its top-left corner.
  void SetSelection(const TGridSelection& sel);
  bool RangeSelect() const { return rangeSelect_; }
  void SetRangeSelect(bool on) { rangeSelect_ = on; }

  // Scrolling: first data row and column in view.
  int TopRow() const { return topRow_; }
  int LeftCol() const { return leftCol_; }
  void SetTopRow(int row);
  void SetLeftCol(int col);

  // Enabled in the grid's own right (a disabled parent does not count).
  bool Enabled() const;
  void SetEnabled(bool on);

  int ClientWidth() const;
  int ClientHeight() const;

  // The cell's rectangle in viewport pixels (Right/Bottom one past the
  // cell); empty (all 0) when the cell is out of view.
  TGridRect CellRect(int col, int row) const;
  // The cell under a viewport point; false when the point is on no cell.
  bool MouseToCell(int x, int y, int& col, int& row) const;

  // Deferred repaint of the whole client area.
  void Refresh();
  // Recomputes the scroll ranges now (normally deferred to the event loop).
  void UpdateGeometries();

  TGridEvent OnEnter, OnExit, OnClick, OnDblClick;
  TGridKeyEvent OnKeyDown;

 protected:
  // Draws one cell into rect. The base draws the text left-aligned on the
  // palette colours; TSqlGrid replaces it.
  virtual void DrawCell(QPainter& p, int col, int row, const TGridRect& rect,
                        TGridDrawState state);
  // The whole client paint; the base runs PaintCells.
  virtual void Paint(QPainter& p, const QRect& dirty);
  // Grid lines and DrawCell for every cell that meets `dirty`.
  void PaintCells(QPainter& p, const QRect& dirty);
  // After a change of ColCount or RowCount.
  virtual void SizeChanged(int oldColCount, int oldRowCount);

  // The key of a cell in a per-cell map, and the column and row back from it.
  static uint64_t CellKey(int col, int row) {
    return (static_cast<uint64_t>(static_cast<uint32_t>(row)) << 32) | static_cast<uint32_t>(col);
  }
  static int KeyCol(uint64_t key) { return static_cast<int>(key & 0xFFFFFFFFu); }
  static int KeyRow(uint64_t key) { return static_cast<int>(key >> 32); }

  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  enum class TDrag { None, Select, ColSize, RowSize };

  void ClampCurrent();
  void ScheduleGeometries();
  // Rows appended below a full view change the scroll bar alone, which
  // follows them once per screen frame rather than once per message pass.
  void ScheduleGrowth();
  void SyncBars();
  // The visible data rows (TopRow .. LastVisibleRow) are cached until the
  // top row, a height, the row count or the client size changes.
  void ComputeVisible() const {
    if (!visibleValid_) RecomputeVisible();
  }
  void RecomputeVisible() const;
  int LastVisibleRow() const {
    ComputeVisible();
    return lastVisibleRow_;
  }
  bool ViewHasRoom() const;  // rows end above the bottom of the client area
  bool RowVisible(int row) const { return row < fixedRows_ || (row >= topRow_ && row <= LastVisibleRow()); }
  int MaxTopRow() const;
  int MaxLeftCol() const;
  int FixedWidth() const;
  int FixedHeight() const;
  void ScrollInView(int col, int row);
  // The column (row) shown right of (below) c (r): after the fixed ones come
  // LeftCol (TopRow) and onwards, the ones scrolled out being skipped.
  int NextShownCol(int c) const;
  int NextShownRow(int r) const;
  // Grid line under a point in the fixed row (column sizing) or the fixed
  // column (row sizing): the column/row whose far edge it is, or -1.
  int SizingColAt(int x, int y) const;
  int SizingRowAt(int x, int y) const;
  void Click();

  std::vector<int> colWidths_;
  std::vector<int> rowHeights_;
  TCellStore cells_;
  std::unordered_map<uint64_t, void*> objects_;
  int fixedCols_ = 1;
  int fixedRows_ = 1;
  int defaultColWidth_ = 64;
  int defaultRowHeight_ = 24;
  int col_ = 1;
  int row_ = 1;
  int anchorCol_ = 1;
  int anchorRow_ = 1;
  TGridSelection sel_{1, 1, 1, 1};
  bool rangeSelect_ = true;
  int topRow_ = 1;
  int leftCol_ = 1;
  bool geometryPending_ = false;
  bool growthPending_ = false;
  bool repaintPending_ = false;
  mutable bool visibleValid_ = false;
  mutable int lastVisibleRow_ = 0;
  mutable bool viewHasRoom_ = true;
  bool syncingBars_ = false;
  bool entered_ = false;
  QMetaObject::Connection focusWatch_;
  TDrag drag_ = TDrag::None;
  int dragIndex_ = 0;
  int dragOrigin_ = 0;
  int dragStartSize_ = 0;
  QPoint wheelRest_;  // wheel movement short of a whole row or column
};

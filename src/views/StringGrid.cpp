#include "views/StringGrid.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>
#include <QWheelEvent>
#include <algorithm>

#include "core/Sjis.h"

namespace {

constexpr int kLine = 1;        // grid line width
constexpr int kSizingSlack = 2;  // pixels either side of a line that grab it
const QColor kFixedLine(0, 0, 0);
const QColor kDataLine(0xC0, 0xC0, 0xC0);

}  // namespace

TStringGrid::TStringGrid(QWidget* parent) : QAbstractScrollArea(parent) {
  colWidths_.assign(5, defaultColWidth_);
  rowHeights_.assign(5, defaultRowHeight_);
  cells_.SetRowCount(5);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setMouseTracking(true);
  viewport()->setAutoFillBackground(false);
  verticalScrollBar()->setSingleStep(1);
  horizontalScrollBar()->setSingleStep(1);
  verticalScrollBar()->setTracking(true);
  horizontalScrollBar()->setTracking(true);
  UpdateGeometries();
  // Focus that went to the menu bar or a context menu and then on to another
  // control of this window is an exit after all, decided when it arrives.
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
    focusWatch_ = connect(app, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
      if (!entered_ || !now || now == this || now->window() != window() || qobject_cast<QMenuBar*>(now)) return;
      entered_ = false;
      if (OnExit) OnExit();
    });
}

// The focus moves while the widget base dies; this grid is gone by then.
TStringGrid::~TStringGrid() { disconnect(focusWatch_); }

// ---------------------------------------------------------------------------
// Counts and sizes

void TStringGrid::SetColCount(int n) {
  n = std::max(n, fixedCols_ + 1);
  const int oldCols = ColCount();
  if (n == oldCols) return;
  colWidths_.resize(static_cast<size_t>(n), defaultColWidth_);
  if (n < oldCols) {
    cells_.TruncateCols(n);
    std::erase_if(objects_, [n](const auto& kv) { return KeyCol(kv.first) >= n; });
  }
  ClampCurrent();
  visibleValid_ = false;
  ScheduleGeometries();
  Refresh();
  SizeChanged(oldCols, RowCount());
}

void TStringGrid::SetRowCount(int n) {
  n = std::max(n, fixedRows_ + 1);
  const int oldRows = RowCount();
  if (n == oldRows) return;
  // Only a change near the visible rows needs a repaint; rows appended
  // below a full view show up through the scroll bar alone.
  const bool visible = std::min(n, oldRows) <= LastVisibleRow() + 1 && !(n > oldRows && !ViewHasRoom());
  if (n == oldRows + 1)
    rowHeights_.push_back(defaultRowHeight_);  // a fetched row: the common case
  else
    rowHeights_.resize(static_cast<size_t>(n), defaultRowHeight_);
  cells_.SetRowCount(n);
  if (n < oldRows && !objects_.empty())
    std::erase_if(objects_, [n](const auto& kv) { return KeyRow(kv.first) >= n; });
  if (n < oldRows) ClampCurrent();  // more rows leave the current cell where it was
  // Rows appended below a full view leave the visible rows as they were.
  if (n < oldRows || ViewHasRoom()) {
    visibleValid_ = false;
    ScheduleGeometries();
  } else {
    ScheduleGrowth();
  }
  if (visible) Refresh();
  SizeChanged(ColCount(), oldRows);
}

void TStringGrid::SetFixedCols(int n) {
  n = std::max(n, 0);
  if (n == fixedCols_) return;
  fixedCols_ = n;
  if (ColCount() <= n) SetColCount(n + 1);
  leftCol_ = std::max(leftCol_, n);
  ClampCurrent();
  visibleValid_ = false;
  ScheduleGeometries();
  Refresh();
}

void TStringGrid::SetFixedRows(int n) {
  n = std::max(n, 0);
  if (n == fixedRows_) return;
  fixedRows_ = n;
  if (RowCount() <= n) SetRowCount(n + 1);
  topRow_ = std::max(topRow_, n);
  ClampCurrent();
  visibleValid_ = false;
  ScheduleGeometries();
  Refresh();
}

void TStringGrid::SetDefaultColWidth(int w) {
  defaultColWidth_ = std::max(w, 0);
  std::fill(colWidths_.begin(), colWidths_.end(), defaultColWidth_);
  visibleValid_ = false;
  ScheduleGeometries();
  Refresh();
}

void TStringGrid::SetDefaultRowHeight(int h) {
  defaultRowHeight_ = std::max(h, 0);
  std::fill(rowHeights_.begin(), rowHeights_.end(), defaultRowHeight_);
  visibleValid_ = false;
  ScheduleGeometries();
  Refresh();
}

void TStringGrid::SetColWidths(int col, int w) {
  if (col < 0 || col >= ColCount()) return;
  w = std::max(w, 0);
  if (colWidths_[col] == w) return;
  colWidths_[col] = w;
  visibleValid_ = false;
  ScheduleGeometries();
  if (col < fixedCols_ || col >= leftCol_) Refresh();
}

void TStringGrid::SetRowHeights(int row, int h) {
  if (row < 0 || row >= RowCount()) return;
  h = std::max(h, 0);
  if (rowHeights_[row] == h) return;
  const bool visible = RowVisible(row);
  rowHeights_[row] = h;
  // A row below a full view changes nothing in view (every fetched row
  // whose text is taller than the default comes here).
  if (visibleValid_ && !viewHasRoom_ && row > lastVisibleRow_) {
    ScheduleGrowth();
  } else {
    visibleValid_ = false;
    ScheduleGeometries();
  }
  if (visible) Refresh();
}

// ---------------------------------------------------------------------------
// Texts and objects

std::string_view TStringGrid::CellView(int col, int row) const {
  if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount()) return {};
  return cells_.Get(col, row);
}

void TStringGrid::RowView(int row, std::vector<std::string_view>& cells) const {
  cells.clear();
  if (row < 0 || row >= RowCount()) return;
  cells_.GetRow(row, cells);
  if (cells.size() > static_cast<size_t>(ColCount())) cells.resize(static_cast<size_t>(ColCount()));
}

void TStringGrid::SetCells(int col, int row, std::string_view text) {
  if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount()) return;
  cells_.Set(col, row, text);
  if (RowVisible(row)) Refresh();
}

void* TStringGrid::Objects(int col, int row) const {
  if (objects_.empty()) return nullptr;
  auto it = objects_.find(CellKey(col, row));
  return it == objects_.end() ? nullptr : it->second;
}

void TStringGrid::SetObjects(int col, int row, void* object) {
  if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount()) return;
  if (object)
    objects_[CellKey(col, row)] = object;
  else
    objects_.erase(CellKey(col, row));
}

// ---------------------------------------------------------------------------
// Current cell, selection, scrolling

void TStringGrid::FocusCell(int col, int row, bool moveAnchor) {
  col = std::clamp(col, fixedCols_, ColCount() - 1);
  row = std::clamp(row, fixedRows_, RowCount() - 1);
  if (moveAnchor || !rangeSelect_) {
    anchorCol_ = col;
    anchorRow_ = row;
  }
  const TGridSelection sel{std::min(anchorCol_, col), std::min(anchorRow_, row),
                           std::max(anchorCol_, col), std::max(anchorRow_, row)};
  const bool moved = col != col_ || row != row_;
  const bool changed = moved || !(sel == sel_);
  col_ = col;
  row_ = row;
  sel_ = sel;
  ScrollInView(col, row);
  if (changed) Refresh();
  if (moved) Click();
}

void TStringGrid::SetSelection(const TGridSelection& s) {
  TGridSelection c{std::clamp(std::min(s.Left, s.Right), fixedCols_, ColCount() - 1),
                   std::clamp(std::min(s.Top, s.Bottom), fixedRows_, RowCount() - 1),
                   std::clamp(std::max(s.Left, s.Right), fixedCols_, ColCount() - 1),
                   std::clamp(std::max(s.Top, s.Bottom), fixedRows_, RowCount() - 1)};
  if (!rangeSelect_) c.Right = c.Left, c.Bottom = c.Top;
  const bool moved = c.Left != col_ || c.Top != row_;
  anchorCol_ = c.Right;
  anchorRow_ = c.Bottom;
  col_ = c.Left;
  row_ = c.Top;
  sel_ = c;
  Refresh();
  if (moved) Click();
}

void TStringGrid::ClampCurrent() {
  // Silent: a count change is not a move by the user.
  const int maxCol = ColCount() - 1, maxRow = RowCount() - 1;
  col_ = std::clamp(col_, fixedCols_, maxCol);
  row_ = std::clamp(row_, fixedRows_, maxRow);
  anchorCol_ = std::clamp(anchorCol_, fixedCols_, maxCol);
  anchorRow_ = std::clamp(anchorRow_, fixedRows_, maxRow);
  sel_ = {std::min(anchorCol_, col_), std::min(anchorRow_, row_), std::max(anchorCol_, col_),
          std::max(anchorRow_, row_)};
  topRow_ = std::clamp(topRow_, fixedRows_, maxRow);
  leftCol_ = std::clamp(leftCol_, fixedCols_, maxCol);
}

void TStringGrid::SetTopRow(int row) {
  row = std::clamp(row, fixedRows_, std::max(fixedRows_, MaxTopRow()));
  if (row == topRow_) return;
  topRow_ = row;
  visibleValid_ = false;
  SyncBars();
  Refresh();
}

void TStringGrid::SetLeftCol(int col) {
  col = std::clamp(col, fixedCols_, std::max(fixedCols_, MaxLeftCol()));
  if (col == leftCol_) return;
  leftCol_ = col;
  visibleValid_ = false;
  SyncBars();
  Refresh();
}

void TStringGrid::ScrollInView(int col, int row) {
  int top = topRow_, left = leftCol_;
  if (row >= fixedRows_) {
    if (row < top) {
      top = row;
    } else {
      // Smallest top row from which `row` is still wholly in view.
      const int room = ClientHeight() - FixedHeight();
      int used = 0, r = row;
      while (r >= fixedRows_ && used + rowHeights_[r] + kLine <= room) used += rowHeights_[r--] + kLine;
      top = std::max(top, std::min(row, r + 1));
    }
  }
  if (col >= fixedCols_) {
    if (col < left) {
      left = col;
    } else {
      const int room = ClientWidth() - FixedWidth();
      int used = 0, c = col;
      while (c >= fixedCols_ && used + colWidths_[c] + kLine <= room) used += colWidths_[c--] + kLine;
      left = std::max(left, std::min(col, c + 1));
    }
  }
  if (top == topRow_ && left == leftCol_) return;
  topRow_ = top;
  leftCol_ = left;
  visibleValid_ = false;
  UpdateGeometries();
  Refresh();
}

int TStringGrid::FixedWidth() const {
  int w = 0;
  for (int c = 0; c < fixedCols_ && c < ColCount(); ++c) w += colWidths_[c] + kLine;
  return w;
}

int TStringGrid::FixedHeight() const {
  int h = 0;
  for (int r = 0; r < fixedRows_ && r < RowCount(); ++r) h += rowHeights_[r] + kLine;
  return h;
}

int TStringGrid::MaxTopRow() const {
  // Walks back from the last row over one screenful only.
  const int room = ClientHeight() - FixedHeight();
  int used = 0, r = RowCount() - 1;
  while (r >= fixedRows_ && used + rowHeights_[r] + kLine <= room) used += rowHeights_[r--] + kLine;
  return std::clamp(r + 1, fixedRows_, RowCount() - 1);
}

int TStringGrid::MaxLeftCol() const {
  const int room = ClientWidth() - FixedWidth();
  int used = 0, c = ColCount() - 1;
  while (c >= fixedCols_ && used + colWidths_[c] + kLine <= room) used += colWidths_[c--] + kLine;
  return std::clamp(c + 1, fixedCols_, ColCount() - 1);
}

void TStringGrid::RecomputeVisible() const {
  const int ch = ClientHeight();
  int y = FixedHeight(), r = topRow_;
  lastVisibleRow_ = topRow_ - 1;
  while (r < RowCount() && y < ch) {
    lastVisibleRow_ = r;
    y += rowHeights_[r++] + kLine;
  }
  viewHasRoom_ = r >= RowCount() && y < ch;
  visibleValid_ = true;
}

bool TStringGrid::ViewHasRoom() const {
  ComputeVisible();
  return viewHasRoom_;
}

void TStringGrid::ScheduleGeometries() {
  if (geometryPending_) return;
  geometryPending_ = true;
  QMetaObject::invokeMethod(
      this, [this] { if (geometryPending_) UpdateGeometries(); }, Qt::QueuedConnection);
}

void TStringGrid::ScheduleGrowth() {
  if (geometryPending_ || growthPending_) return;
  growthPending_ = true;
  QTimer::singleShot(kFrameMs, this, [this] {
    growthPending_ = false;
    if (!geometryPending_) UpdateGeometries();
  });
}

void TStringGrid::UpdateGeometries() {
  geometryPending_ = false;
  const int maxTop = MaxTopRow(), maxLeft = MaxLeftCol();
  topRow_ = std::clamp(topRow_, fixedRows_, std::max(fixedRows_, maxTop));
  leftCol_ = std::clamp(leftCol_, fixedCols_, std::max(fixedCols_, maxLeft));
  visibleValid_ = false;
  syncingBars_ = true;
  QScrollBar* v = verticalScrollBar();
  v->setRange(fixedRows_, maxTop);
  v->setPageStep(std::max(1, LastVisibleRow() - topRow_));
  QScrollBar* h = horizontalScrollBar();
  h->setRange(fixedCols_, maxLeft);
  h->setPageStep(std::max(1, (maxLeft - fixedCols_) / 8 + 1));
  syncingBars_ = false;
  SyncBars();
}

void TStringGrid::SyncBars() {
  syncingBars_ = true;
  verticalScrollBar()->setValue(topRow_);
  horizontalScrollBar()->setValue(leftCol_);
  syncingBars_ = false;
}

void TStringGrid::scrollContentsBy(int, int) {
  if (syncingBars_) return;
  // The bars count rows and columns, not pixels.
  topRow_ = std::clamp(verticalScrollBar()->value(), fixedRows_, RowCount() - 1);
  leftCol_ = std::clamp(horizontalScrollBar()->value(), fixedCols_, ColCount() - 1);
  visibleValid_ = false;
  Refresh();
}

// ---------------------------------------------------------------------------
// Geometry queries

int TStringGrid::NextShownCol(int c) const {
  return c + 1 == fixedCols_ ? std::max(c + 1, leftCol_) : c + 1;
}

int TStringGrid::NextShownRow(int r) const {
  return r + 1 == fixedRows_ ? std::max(r + 1, topRow_) : r + 1;
}

bool TStringGrid::Enabled() const { return !testAttribute(Qt::WA_ForceDisabled); }

void TStringGrid::SetEnabled(bool on) {
  if (on == Enabled()) return;
  setEnabled(on);
  Refresh();
}

int TStringGrid::ClientWidth() const { return viewport()->width(); }
int TStringGrid::ClientHeight() const { return viewport()->height(); }

TGridRect TStringGrid::CellRect(int col, int row) const {
  if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount()) return {};
  if ((col >= fixedCols_ && col < leftCol_) || (row >= fixedRows_ && row < topRow_)) return {};
  int x = 0;
  for (int c = 0; c < col; c = NextShownCol(c)) {
    x += colWidths_[c] + kLine;
    if (x >= ClientWidth()) return {};
  }
  int y = 0;
  for (int r = 0; r < row; r = NextShownRow(r)) {
    y += rowHeights_[r] + kLine;
    if (y >= ClientHeight()) return {};
  }
  return {x, y, x + colWidths_[col], y + rowHeights_[row]};
}

bool TStringGrid::MouseToCell(int x, int y, int& col, int& row) const {
  col = row = -1;
  if (x < 0 || y < 0) return false;
  int left = 0;
  for (int c = 0; c < ColCount(); c = NextShownCol(c)) {
    const int right = left + colWidths_[c] + kLine;
    if (x < right) {
      col = c;
      break;
    }
    left = right;
    if (left >= ClientWidth()) break;
  }
  int top = 0;
  for (int r = 0; r < RowCount(); r = NextShownRow(r)) {
    const int bottom = top + rowHeights_[r] + kLine;
    if (y < bottom) {
      row = r;
      break;
    }
    top = bottom;
    if (top >= ClientHeight()) break;
  }
  return col >= 0 && row >= 0;
}

int TStringGrid::SizingColAt(int x, int y) const {
  if (y >= FixedHeight()) return -1;
  int edge = 0;
  for (int c = 0; c < ColCount(); c = NextShownCol(c)) {
    edge += colWidths_[c] + kLine;
    if (std::abs(x - (edge - kLine)) <= kSizingSlack) return c;
    if (edge > ClientWidth()) break;
  }
  return -1;
}

int TStringGrid::SizingRowAt(int x, int y) const {
  if (x >= FixedWidth()) return -1;
  int edge = 0;
  for (int r = 0; r < RowCount(); r = NextShownRow(r)) {
    edge += rowHeights_[r] + kLine;
    if (std::abs(y - (edge - kLine)) <= kSizingSlack) return r;
    if (edge > ClientHeight()) break;
  }
  return -1;
}

void TStringGrid::Refresh() {
  if (repaintPending_ || !viewport()->isVisible()) return;
  repaintPending_ = true;
  viewport()->update();
}

void TStringGrid::Click() {
  if (OnClick) OnClick();
}

void TStringGrid::SizeChanged(int, int) {}

// ---------------------------------------------------------------------------
// Painting

void TStringGrid::paintEvent(QPaintEvent* e) {
  repaintPending_ = false;
  if (geometryPending_) UpdateGeometries();
  QPainter p(viewport());
  Paint(p, e->rect());
}

void TStringGrid::Paint(QPainter& p, const QRect& dirty) { PaintCells(p, dirty); }

void TStringGrid::PaintCells(QPainter& p, const QRect& dirty) {
  const int cw = ClientWidth(), ch = ClientHeight();
  const bool focused = hasFocus();
  // Every row ends where the shown columns end; right of that is blank.
  int xEnd = 0;
  for (int c = 0; c < ColCount() && xEnd < cw; c = NextShownCol(c)) xEnd += colWidths_[c] + kLine;
  int y = 0;
  for (int r = 0; r < RowCount() && y < ch; r = NextShownRow(r)) {
    const int h = rowHeights_[r];
    if (y > dirty.bottom()) break;
    if (y + h + kLine > dirty.top()) {
      int x = 0;
      for (int c = 0; c < ColCount() && x < cw; c = NextShownCol(c)) {
        const int w = colWidths_[c];
        if (x > dirty.right()) break;
        if (x + w + kLine > dirty.left()) {
          const bool fixed = c < fixedCols_ || r < fixedRows_;
          TGridDrawState state = 0;
          if (fixed) {
            state |= gdFixed;
          } else {
            if (sel_.Contains(c, r)) state |= gdSelected;
            if (focused && c == col_ && r == row_) state |= gdFocused;
          }
          DrawCell(p, c, r, {x, y, x + w, y + h}, state);
          const QColor& line = fixed ? kFixedLine : kDataLine;
          p.fillRect(x + w, y, kLine, h + kLine, line);
          p.fillRect(x, y + h, w, kLine, line);
        }
        x += w + kLine;
      }
    }
    y += h + kLine;
  }
  const QColor base = palette().color(QPalette::Base);
  if (xEnd < cw) p.fillRect(xEnd, 0, cw - xEnd, std::min(y, ch), base);
  if (y < ch) p.fillRect(0, y, cw, ch - y, base);
}

void TStringGrid::DrawCell(QPainter& p, int col, int row, const TGridRect& rect,
                           TGridDrawState state) {
  const QRect r(rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top);
  const QPalette& pal = palette();
  QColor back = pal.color(QPalette::Base), fore = pal.color(QPalette::Text);
  if (state & gdFixed) {
    back = pal.color(QPalette::Button);
    fore = pal.color(QPalette::ButtonText);
  } else if (state & gdSelected) {
    back = pal.color(QPalette::Highlight);
    fore = pal.color(QPalette::HighlightedText);
  }
  p.fillRect(r, back);
  const std::string_view text = CellView(col, row);
  if (text.empty()) return;
  p.setPen(fore);
  p.drawText(r.adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter,
             QString::fromStdString(SjisToUtf8(text)));
}

// ---------------------------------------------------------------------------
// Input

void TStringGrid::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  visibleValid_ = false;
  UpdateGeometries();
}

void TStringGrid::keyPressEvent(QKeyEvent* e) {
  int key = e->key();
  const Qt::KeyboardModifiers mods = e->modifiers();
  if (OnKeyDown) {
    OnKeyDown(key, mods);
    if (key == 0) {
      e->accept();
      return;
    }
  }
  const bool extend = (mods & Qt::ShiftModifier) && rangeSelect_;
  const bool ctrl = (mods & Qt::ControlModifier) != 0;
  const int page = std::max(1, LastVisibleRow() - topRow_);
  int col = col_, row = row_;
  switch (key) {
    case Qt::Key_Up: --row; break;
    case Qt::Key_Down: ++row; break;
    case Qt::Key_Left: --col; break;
    case Qt::Key_Right: ++col; break;
    case Qt::Key_PageUp: row -= page; break;
    case Qt::Key_PageDown: row += page; break;
    case Qt::Key_Home:
      col = fixedCols_;
      if (ctrl) row = fixedRows_;
      break;
    case Qt::Key_End:
      col = ColCount() - 1;
      if (ctrl) row = RowCount() - 1;
      break;
    default:
      QAbstractScrollArea::keyPressEvent(e);
      return;
  }
  e->accept();
  if (key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
    // Page keys move the view by the same amount as the cell.
    SetTopRow(topRow_ + (key == Qt::Key_PageDown ? page : -page));
  }
  FocusCell(col, row, !extend);
}

void TStringGrid::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(e);
    return;
  }
  const int x = e->position().toPoint().x(), y = e->position().toPoint().y();
  if (int c = SizingColAt(x, y); c >= 0) {
    drag_ = TDrag::ColSize;
    dragIndex_ = c;
    dragOrigin_ = x;
    dragStartSize_ = colWidths_[c];
    return;
  }
  if (int r = SizingRowAt(x, y); r >= 0) {
    drag_ = TDrag::RowSize;
    dragIndex_ = r;
    dragOrigin_ = y;
    dragStartSize_ = rowHeights_[r];
    return;
  }
  int col, row;
  if (!MouseToCell(x, y, col, row) || col < fixedCols_ || row < fixedRows_) return;
  drag_ = TDrag::Select;
  const bool extend = (e->modifiers() & Qt::ShiftModifier) && rangeSelect_;
  const bool moves = col != col_ || row != row_;
  FocusCell(col, row, !extend);
  if (!moves) Click();  // a click on the current cell is still a click
}

void TStringGrid::mouseMoveEvent(QMouseEvent* e) {
  const int x = e->position().toPoint().x(), y = e->position().toPoint().y();
  switch (drag_) {
    case TDrag::ColSize:
      SetColWidths(dragIndex_, dragStartSize_ + x - dragOrigin_);
      return;
    case TDrag::RowSize:
      SetRowHeights(dragIndex_, dragStartSize_ + y - dragOrigin_);
      return;
    case TDrag::Select: {
      int col, row;
      const int cx = std::clamp(x, FixedWidth(), std::max(FixedWidth(), ClientWidth() - 1));
      const int cy = std::clamp(y, FixedHeight(), std::max(FixedHeight(), ClientHeight() - 1));
      if (MouseToCell(cx, cy, col, row) && col >= fixedCols_ && row >= fixedRows_)
        FocusCell(col, row, !rangeSelect_);
      return;
    }
    case TDrag::None:
      break;
  }
  if (SizingColAt(x, y) >= 0)
    viewport()->setCursor(Qt::SplitHCursor);
  else if (SizingRowAt(x, y) >= 0)
    viewport()->setCursor(Qt::SplitVCursor);
  else
    viewport()->unsetCursor();
}

void TStringGrid::mouseReleaseEvent(QMouseEvent* e) {
  drag_ = TDrag::None;
  QAbstractScrollArea::mouseReleaseEvent(e);
}

void TStringGrid::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  mousePressEvent(e);
  if (drag_ == TDrag::ColSize || drag_ == TDrag::RowSize) return;
  if (OnDblClick) OnDblClick();
}

void TStringGrid::wheelEvent(QWheelEvent* e) {
  // Three rows (one column) per notch of 120. Touch pads send small steps:
  // what does not make a whole row yet is kept for the next event.
  wheelRest_ += e->angleDelta();
  const int rows = wheelRest_.y() / 40, cols = wheelRest_.x() / 120;
  wheelRest_ -= QPoint(cols * 120, rows * 40);
  if (rows != 0) SetTopRow(topRow_ - rows);
  if (cols != 0) SetLeftCol(leftCol_ - cols);
  e->accept();
}

void TStringGrid::focusInEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusInEvent(e);
  Refresh();
  if (entered_) return;
  entered_ = true;
  if (OnEnter) OnEnter();
}

void TStringGrid::focusOutEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusOutEvent(e);
  Refresh();
  // A context menu, the menu bar's keyboard mode or another window taking the
  // focus for a while is no exit.
  if (e->reason() == Qt::PopupFocusReason || e->reason() == Qt::ActiveWindowFocusReason ||
      e->reason() == Qt::MenuBarFocusReason)
    return;
  if (!entered_) return;
  entered_ = false;
  if (OnExit) OnExit();
}

void TStringGrid::changeEvent(QEvent* e) {
  QAbstractScrollArea::changeEvent(e);
  if (e->type() == QEvent::EnabledChange || e->type() == QEvent::FontChange ||
      e->type() == QEvent::PaletteChange)
    Refresh();
}

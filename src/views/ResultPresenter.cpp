#include "views/ResultPresenter.h"

#include <algorithm>
#include <charconv>

#include "core/Sjis.h"
#include "core/SqlInfo.h"
#include "views/SqlGrid.h"

std::string ResultEmptyText() { return SJ("結　果　表　示　領　域"); }

TResultPresenter::TResultPresenter(TSqlInfo& info, TSqlGrid& grid, TOptionsProvider options)
    : info_(info), grid_(grid), options_(std::move(options)) {}

void TResultPresenter::Install() {
  grid_.SetEmptyText(ResultEmptyText());
  info_.OnColCount = [this](TSqlInfo&) { ColCountChanged(); };
  info_.OnColName = [this](TSqlInfo&, int k) { ColNameChanged(k); };
  info_.OnColAlign = [this](TSqlInfo&, int k) { ColAlignChanged(k); };
  info_.OnRowMax = [this](TSqlInfo&) { RowMaxChanged(); };
  info_.OnSetCell = [this](TSqlInfo&, int c, int r, std::string_view t) { SetCell(c, r, t); };
  info_.OnGetCell = [this](TSqlInfo&, int c, int r) { return GetCell(c, r); };
  grid_.OnEnter = [this] { GridEnter(); };
  grid_.OnExit = [this] { GridExit(); };
  grid_.OnClick = [this] { GridClick(); };
  grid_.OnDblClick = [this] { GridDblClick(); };
  grid_.OnKeyDown = [this](int& key, Qt::KeyboardModifiers mods) {
    GridKeyDown(key, static_cast<int>(mods));
  };
}

const TOptions& TResultPresenter::Options() const {
  static const TOptions kDefaults;
  return options_ ? options_() : kDefaults;
}

void TResultPresenter::ColCountChanged() {
  const int n = info_.ColCount();
  TSqlGrid& g = grid_;
  if (n < 1) {
    if (OnCurrentCell) OnCurrentCell(0, 0);
    g.SetEnabled(false);
    // Rows first: shrinking the columns of a million rows would rewrite each.
    g.SetRowCount(g.FixedRows() + 1);
    g.SetColCount(g.FixedCols() + 1);
    g.SetRowHeights(0, 1);
    g.SetRowHeights(1, g.DefaultRowHeight());
    g.SetColWidths(0, 1);
    g.SetColWidths(1, 1);
    g.SetCells(0, 1, "0");
    g.Refresh();
  } else {
    const TOptions& o = Options();
    if (OnCurrentCell) OnCurrentCell(1, 1);
    g.SetEnabled(true);
    g.SetColCount(n + g.FixedCols());
    if (TCellAttr* a = g.FixedRowAttr(0)) {
      a->FontColor = o.FixedRowsForeColor;
      a->BackColor = o.FixedRowsBackColor;
      a->VAlign = 2;
      a->HAlign = 3;
      a->Orientation = o.Orientation == 0 ? orHorizontal : orVertical;
      a->WrapCount = o.Wordwrap;
    }
    g.SetColWidths(0, 55);
    if (TCellAttr* a = g.FixedColAttr(0)) {
      a->HAlign = 2;
      a->FontColor = o.FixedRowsForeColor;
      a->BackColor = o.FixedRowsBackColor;
    }
    g.SetCells(0, 0, kCornerText);
    if (TCellAttr* a = g.CellAttr(0, 0)) {
      a->FontColor = o.FixedRowsForeColor;
      a->BackColor = o.FixedRowsBackColor;
      a->VAlign = 2;
      a->HAlign = 3;
      a->Orientation = orHorizontal;
      a->WrapCount = 7;
    }
    for (int c = 1; c < g.ColCount(); ++c) g.SetCells(c, 1, {});
    g.Refresh();
  }
  if (AfterColCount) AfterColCount();
}

void TResultPresenter::ColNameChanged(int index) {
  const int col = index + 1;
  if (col >= grid_.ColCount()) return;
  grid_.SetCells(col, 0, info_.ColName(index));
  // Headings are never limited in width, and never shrink here.
  const TTextExtent e = grid_.MeasureCell(col, 0);
  if (grid_.RowHeights(0) < e.Height) grid_.SetRowHeights(0, e.Height);
  if (grid_.ColWidths(col) < e.Width) grid_.SetColWidths(col, e.Width);
}

void TResultPresenter::ColAlignChanged(int index) {
  if (TCellAttr* a = grid_.ColAttr(index + 1)) a->HAlign = info_.ColAlign(index);
  grid_.Refresh();
}

void TResultPresenter::RowMaxChanged() {
  const int n = info_.RowMax();
  if (n < 1) return;
  const TOptions& o = Options();
  grid_.SetRowCount(n + grid_.FixedRows());
  char buf[16];
  auto res = std::to_chars(buf, buf + sizeof buf, n);
  grid_.SetCells(0, n, std::string_view(buf, static_cast<size_t>(res.ptr - buf)));
  if (TCellAttr* a = grid_.RowAttr(n)) {
    a->FontColor = info_.AltRow ? o.BoldLineForeColor : o.NormalLineForeColor;
    a->BackColor = info_.AltRow ? o.BoldLineBackColor : o.NormalLineBackColor;
  }
  if (AfterRowMax) AfterRowMax();
}

void TResultPresenter::SetCell(int col, int row, std::string_view text) {
  TSqlGrid& g = grid_;
  if (col < 0 || col >= g.ColCount() || row < 0 || row >= g.RowCount()) return;
  // Measured before it is stored: the text may be a view of the store.
  const TTextExtent e = g.MeasureText(col, row, text);
  g.SetCells(col, row, text);
  if (g.RowHeights(row) < e.Height) g.SetRowHeights(row, e.Height);
  // A data column never grows past the client area, so one long value
  // cannot push every other column out of view.
  const int current = g.ColWidths(col);
  if (e.Width <= current) return;  // the common case: the column is wide enough
  const int limit = g.ClientWidth() - g.ColWidths(0) - 8;
  const int w = std::min(e.Width, limit);
  if (current < w) g.SetColWidths(col, w);
}

std::string TResultPresenter::GetCell(int col, int row) const {
  return grid_.Cells(col, row);  // empty outside the grid
}

void TResultPresenter::GridEnter() {
  grid_.SetCells(0, 0, {});
  TCellAttr* s = grid_.DefaultAttr(dkSelected);
  s->FontColor = 0xFFFFFF;
  s->BackColor = 0xFF0000;
  grid_.Refresh();
}

void TResultPresenter::GridExit() {
  grid_.SetCells(0, 0, kCornerText);
  TCellAttr* s = grid_.DefaultAttr(dkSelected);
  s->FontColor = clHighlightText;
  s->BackColor = clHighlight;
  grid_.Refresh();
}

void TResultPresenter::GridClick() {
  if (OnCurrentCell) OnCurrentCell(grid_.Col(), grid_.Row());
}

void TResultPresenter::GridDblClick() {
  if (OnViewCell) OnViewCell();
}

void TResultPresenter::GridKeyDown(int& key, int) {
  if (key != Qt::Key_Return && key != Qt::Key_Enter) return;
  key = 0;
  if (OnViewCell) OnViewCell();
}

namespace {
void SetHeading(TSqlGrid& g, uint8_t TCellAttr::*field, uint8_t value) {
  if (TCellAttr* a = g.FixedRowAttr(0)) a->*field = value;
  g.Refresh();
}
}  // namespace

void TResultPresenter::VaTop() { SetHeading(grid_, &TCellAttr::VAlign, 1); }
void TResultPresenter::VaCenter() { SetHeading(grid_, &TCellAttr::VAlign, 3); }
void TResultPresenter::VaBottom() { SetHeading(grid_, &TCellAttr::VAlign, 2); }
void TResultPresenter::HaLeft() { SetHeading(grid_, &TCellAttr::HAlign, 1); }
void TResultPresenter::HaCenter() { SetHeading(grid_, &TCellAttr::HAlign, 3); }
void TResultPresenter::HaRight() { SetHeading(grid_, &TCellAttr::HAlign, 2); }

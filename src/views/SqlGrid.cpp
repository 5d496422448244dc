#include "views/SqlGrid.h"

#include <QPainter>
#include <QResizeEvent>
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/Sjis.h"

namespace {

// Whether each of the eight bytes lies in 0x20..0x7E.
bool AllPrintableAscii(uint64_t w) {
  constexpr uint64_t kOnes = 0x0101010101010101ULL, kHigh = 0x8080808080808080ULL;
  const uint64_t below = (w - kOnes * 0x20) & ~w;  // high bit where a byte is under 0x20
  const uint64_t above = (w + kOnes) | w;  // where it is over 0x7E: 0x7F + 1 sets the high bit
  return ((below | above) & kHigh) == 0;
}

// Whether every byte of the text lies in 0x20..0x7E: most cells are plain
// ASCII, and in a fixed-pitch font their width is then the byte count.
bool PrintableAsciiText(std::string_view text) {
  const char* p = text.data();
  const size_t n = text.size();
  uint64_t w;
  if (n >= 8) {
    for (size_t i = 0; i + 8 < n; i += 8) {
      std::memcpy(&w, p + i, 8);
      if (!AllPrintableAscii(w)) return false;
    }
    std::memcpy(&w, p + n - 8, 8);  // the last eight, overlapping the ones before
    return AllPrintableAscii(w);
  }
  if (n >= 4) {  // the first four and the last four
    uint32_t head, tail;
    std::memcpy(&head, p, 4);
    std::memcpy(&tail, p + n - 4, 4);
    return AllPrintableAscii(uint64_t{head} | uint64_t{tail} << 32);
  }
  w = 0x2020202020202020ULL;  // up to three bytes, padded with spaces
  for (size_t i = 0; i < n; ++i) reinterpret_cast<unsigned char*>(&w)[i] = static_cast<unsigned char>(p[i]);
  return AllPrintableAscii(w);
}

// Draws the pixels from a towards b, b itself excluded (horizontal or
// vertical segments only).
void LineExcl(QPainter& p, QPoint a, QPoint b, const QColor& color) {
  if (a.y() == b.y() && a.x() != b.x()) {
    const int from = a.x() < b.x() ? a.x() : b.x() + 1;
    const int to = a.x() < b.x() ? b.x() - 1 : a.x();
    p.fillRect(from, a.y(), to - from + 1, 1, color);
  } else if (a.x() == b.x() && a.y() != b.y()) {
    const int from = a.y() < b.y() ? a.y() : b.y() + 1;
    const int to = a.y() < b.y() ? b.y() - 1 : a.y();
    p.fillRect(a.x(), from, 1, to - from + 1, color);
  }
}

}  // namespace

TSqlGrid::TSqlGrid(QWidget* parent) : TStringGrid(parent) {
  defaults_[dkDisabled - 1] = {clInactiveCaptionText, clWhite, 3, 3, orHorizontal, 0};
  defaults_[dkSelected - 1] = {clHighlightText, clHighlight, 0, 0, 0, 0};
  defaults_[dkNormal - 1] = {clBlack, clWhite, 3, 3, orHorizontal, 0};
  defaults_[dkFixed - 1] = {clBlack, clBtnFace, 3, 3, orHorizontal, 0};
  rowAttrs_.resize(static_cast<size_t>(RowCount()));
  colAttrs_.resize(static_cast<size_t>(ColCount()));
  setFont(GridFont());
  metrics_ = std::make_unique<TQtGridMetrics>(font());
  SetDefaultRowHeight(24);
  SetDefaultColWidth(1);
  SetRangeSelect(true);
  SetEnabled(false);
}

TSqlGrid::~TSqlGrid() = default;

TCellAttr* TSqlGrid::RowAttr(int row) {
  return row >= FixedRows() && row < RowCount() ? &rowAttrs_[row] : nullptr;
}

TCellAttr* TSqlGrid::ColAttr(int col) {
  return col >= FixedCols() && col < ColCount() ? &colAttrs_[col] : nullptr;
}

TCellAttr* TSqlGrid::FixedRowAttr(int row) {
  return row >= 0 && row < FixedRows() && row < RowCount() ? &rowAttrs_[row] : nullptr;
}

TCellAttr* TSqlGrid::FixedColAttr(int col) {
  return col >= 0 && col < FixedCols() && col < ColCount() ? &colAttrs_[col] : nullptr;
}

TCellAttr* TSqlGrid::CellAttr(int col, int row) {
  if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount()) return nullptr;
  cellAttrMaxRow_ = std::max(cellAttrMaxRow_, row);
  return &cellAttrs_[CellKey(col, row)];
}

TCellAttr* TSqlGrid::DefaultAttr(int kind) {
  return kind >= dkDisabled && kind <= dkFixed ? &defaults_[kind - 1] : nullptr;
}

const TCellAttr* TSqlGrid::FindCellAttr(int col, int row) const {
  // Cell records are rare (the corner cell): skip the look-up below them.
  if (row > cellAttrMaxRow_) return nullptr;
  auto it = cellAttrs_.find(CellKey(col, row));
  return it == cellAttrs_.end() ? nullptr : &it->second;
}

TCellAttr TSqlGrid::EffectiveAttr(int col, int row, bool selected) const {
  if (col < 0 || col >= ColCount() || row < 0 || row >= RowCount()) return defaults_[dkNormal - 1];
  const TCellAttr* cell = FindCellAttr(col, row);
  TCellAttr a = cell ? *cell : TCellAttr{};
  if (col < FixedCols() || row < FixedRows()) {
    if (row < FixedRows()) a = MergeAttr(a, rowAttrs_[row]);
    if (col < FixedCols()) a = MergeAttr(a, colAttrs_[col]);
    return MergeAttr(a, defaults_[dkFixed - 1]);
  }
  a = MergeAttr(a, rowAttrs_[row]);
  a = MergeAttr(a, colAttrs_[col]);
  a = MergeAttr(a, defaults_[dkNormal - 1]);
  return selected ? MergeAttr(defaults_[dkSelected - 1], a) : a;
}

inline void TSqlGrid::TextLayout(int col, int row, uint8_t& orientation, int32_t& wrap) const {
  if (col >= FixedCols() && row >= FixedRows() && col < ColCount() && row < RowCount() && row > cellAttrMaxRow_) {
    // A data cell without a record of its own: every fetched cell.
    const TCellAttr& r = rowAttrs_[row];
    const TCellAttr& c = colAttrs_[col];
    const TCellAttr& d = defaults_[dkNormal - 1];
    orientation = r.Orientation ? r.Orientation : c.Orientation ? c.Orientation : d.Orientation;
    wrap = r.WrapCount ? r.WrapCount : c.WrapCount ? c.WrapCount : d.WrapCount;
    return;
  }
  LayeredTextLayout(col, row, orientation, wrap);
}

void TSqlGrid::LayeredTextLayout(int col, int row, uint8_t& orientation, int32_t& wrap) const {
  const TCellAttr* layers[4];
  int n = 0;
  if (col >= 0 && col < ColCount() && row >= 0 && row < RowCount()) {
    if (const TCellAttr* cell = FindCellAttr(col, row)) layers[n++] = cell;
    const bool fixed = col < FixedCols() || row < FixedRows();
    if (!fixed || row < FixedRows()) layers[n++] = &rowAttrs_[row];
    if (!fixed || col < FixedCols()) layers[n++] = &colAttrs_[col];
    layers[n++] = &defaults_[(fixed ? dkFixed : dkNormal) - 1];
  } else {
    layers[n++] = &defaults_[dkNormal - 1];
  }
  orientation = 0;
  wrap = 0;
  for (int i = 0; i < n; ++i) {
    if (!orientation) orientation = layers[i]->Orientation;
    if (!wrap) wrap = layers[i]->WrapCount;
  }
}

TTextExtent TSqlGrid::MeasureCell(int col, int row) { return MeasureText(col, row, CellView(col, row)); }

TTextExtent TSqlGrid::MeasureText(int col, int row, std::string_view text) {
  uint8_t orientation;
  int32_t wrap;
  TextLayout(col, row, orientation, wrap);
  if (orientation != orVertical && wrap <= 0) {
    // Every fetched cell comes here: one unwrapped line, measured straight
    // from the bytes (the same sum the general rule makes).
    const int height = text.empty() ? 0 : metrics_->Height();
    const int ascii = metrics_->PrintableAsciiWidth();
    if (ascii >= 0 && text.size() * static_cast<size_t>(ascii) <= (size_t{1} << 24) && PrintableAsciiText(text))
      return {static_cast<int>(text.size()) * ascii + 3 * margin_, height + 3 * margin_};
    int width = 0;
    for (size_t i = 0; i < text.size() && width <= (1 << 24);) {  // wider than any screen: the limit applies anyway
      // Eight printable ASCII bytes at a time in a fixed-pitch font; a
      // group that is not goes character by character.
      if (ascii >= 0 && i + 8 <= text.size()) {
        uint64_t w8;
        std::memcpy(&w8, text.data() + i, 8);
        if (AllPrintableAscii(w8)) {
          width += 8 * ascii;
          i += 8;
          continue;
        }
      }
      for (const size_t group = std::min(text.size(), i + 8); i < group;) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (IsLeadByte(b) && i + 1 < text.size()) {
          width += metrics_->CharWidth(static_cast<uint16_t>((b << 8) | static_cast<unsigned char>(text[i + 1])));
          i += 2;
        } else {
          width += metrics_->CharWidth(b);
          ++i;
        }
      }
    }
    return {width + 3 * margin_, height + 3 * margin_};
  }
  SplitChars(text, chars_);
  return MeasureCellText(*metrics_, chars_, EffectiveAttr(col, row, false), margin_);
}

void TSqlGrid::SetMargin(int m) {
  margin_ = m;
  Refresh();
}

void TSqlGrid::SetEmptyText(std::string_view text) {
  emptyText_ = text;
  Refresh();
}

TGridMetrics& TSqlGrid::Metrics() { return *metrics_; }

void TSqlGrid::SizeChanged(int oldColCount, int oldRowCount) {
  // Attributes belong to positions: remaining ones keep their values, new
  // positions start unset.
  const auto rowTable = static_cast<size_t>(RowCount()), colTable = static_cast<size_t>(ColCount());
  if (rowTable == rowAttrs_.size() + 1)
    rowAttrs_.emplace_back();  // a fetched row
  else if (rowTable != rowAttrs_.size())
    rowAttrs_.resize(rowTable);
  if (colTable != colAttrs_.size()) colAttrs_.resize(colTable);
  if ((ColCount() < oldColCount || RowCount() < oldRowCount) && !cellAttrs_.empty()) {
    const int cols = ColCount(), rows = RowCount();
    std::erase_if(cellAttrs_, [cols, rows](const auto& kv) {
      return KeyCol(kv.first) >= cols || KeyRow(kv.first) >= rows;
    });
    cellAttrMaxRow_ = -1;
    for (const auto& kv : cellAttrs_)
      cellAttrMaxRow_ = std::max(cellAttrMaxRow_, KeyRow(kv.first));
  }
  TStringGrid::SizeChanged(oldColCount, oldRowCount);
}

void TSqlGrid::DrawCell(QPainter& p, int col, int row, const TGridRect& rect,
                        TGridDrawState state) {
  const bool fixed = (state & gdFixed) != 0;
  const TCellAttr a = EffectiveAttr(col, row, !fixed && (state & gdSelected));
  const QPalette& pal = palette();
  const QColor back = ToQColor(a.BackColor, pal);
  if (back.isValid())
    p.fillRect(rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top, back);
  if (fixed) {
    const QColor white(255, 255, 255), shadow = ToQColor(clBtnShadow, pal);
    const int l = rect.Left, t = rect.Top, r = rect.Right, b = rect.Bottom;
    LineExcl(p, {r - 1, t}, {l, t}, white);
    LineExcl(p, {l, t}, {l, b}, white);
    LineExcl(p, {r - 2, t + 1}, {l + 1, t + 1}, white);
    LineExcl(p, {l + 1, t + 1}, {l + 1, b - 1}, white);
    LineExcl(p, {l + 1, b - 1}, {r - 1, b - 1}, shadow);
    LineExcl(p, {r - 1, b - 1}, {r - 1, t + 1}, shadow);
  }
  SplitChars(CellView(col, row), chars_);
  DrawChars(p, rect, a, back);
}

void TSqlGrid::DrawChars(QPainter& p, const TGridRect& rect, const TCellAttr& a,
                         const QColor& back) {
  if (chars_.empty()) return;
  const QColor fore = ToQColor(a.FontColor, palette());
  if (!fore.isValid()) return;
  const TTextExtent ext = TextExtent(*metrics_, chars_, a.Orientation, a.WrapCount, margin_);
  const TGridRect tr = PlaceText(rect, ext, a.VAlign, a.HAlign, margin_);
  if (a.Orientation == orVertical)
    VertPositions(*metrics_, chars_, tr, a.WrapCount, a.VAlign, pos_);
  else
    HorzPositions(*metrics_, chars_, tr, a.WrapCount, pos_);
  p.setPen(fore);
  p.setFont(metrics_->Font());
  // A text wider than its cell stays inside it: running out, a centred or
  // right-aligned text would cover the row numbers and its neighbours.
  p.setClipRect(QRect(rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top));
  // Text goes down on the cell's background colour.
  if (back.isValid()) {
    p.setBackgroundMode(Qt::OpaqueMode);
    p.setBackground(back);
  }
  const int ascent = metrics_->Ascent(), height = metrics_->Height();
  // Only characters that reach into the client area are drawn: a long text
  // laid out whole at every paint would make scrolling crawl.
  const int cw = ClientWidth(), ch = ClientHeight();
  for (const TCharPos& at : pos_) {
    if (at.Y >= ch || at.Y + height <= 0) continue;
    if (at.Index < 0) {
      size_t first = 0;
      int x = at.X;
      while (first < chars_.size() && x + metrics_->CharWidth(chars_[first]) <= 0)
        x += metrics_->CharWidth(chars_[first++]);
      std::string sjis;
      for (int end = x; first < chars_.size() && end < cw; ++first) {
        const uint16_t c = chars_[first];
        if (c > 0xFF) sjis.push_back(static_cast<char>(c >> 8));
        sjis.push_back(static_cast<char>(c & 0xFF));
        end += metrics_->CharWidth(c);
      }
      if (!sjis.empty()) p.drawText(x, at.Y + ascent, QString::fromStdString(SjisToUtf8(sjis)));
    } else {
      const uint16_t c = chars_[at.Index];
      if (at.X >= cw || at.X + metrics_->CharWidth(c) <= 0) continue;
      p.drawText(at.X, at.Y + ascent, CharToQString(c));
    }
  }
  p.setBackgroundMode(Qt::TransparentMode);
  p.setClipping(false);
}

void TSqlGrid::Paint(QPainter& p, const QRect& dirty) {
  if (Enabled()) {
    PaintCells(p, dirty);
    return;
  }
  const TCellAttr& a = defaults_[dkDisabled - 1];
  const TGridRect all{0, 0, ClientWidth(), ClientHeight()};
  const QColor back = ToQColor(a.BackColor, palette());
  if (back.isValid()) p.fillRect(0, 0, all.Right, all.Bottom, back);
  SplitChars(emptyText_, chars_);
  DrawChars(p, all, a, back);
}

void TSqlGrid::resizeEvent(QResizeEvent* e) {
  TStringGrid::resizeEvent(e);
  // EmptyText stays centred.
  if (!Enabled()) Refresh();
}

void TSqlGrid::changeEvent(QEvent* e) {
  TStringGrid::changeEvent(e);
  if (e->type() == QEvent::FontChange) metrics_ = std::make_unique<TQtGridMetrics>(font());
}

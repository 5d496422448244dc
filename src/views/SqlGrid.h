#pragma once
// TSqlGrid: the string grid that draws every cell itself from layered
// display attributes (cell, row or column, fixed row or column, and four
// grid-wide defaults). While disabled it shows only EmptyText.

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "views/Colors.h"
#include "views/GridText.h"
#include "views/StringGrid.h"

// One display-attribute record; a new record has every field unset
// (colour clNone, the byte fields and WrapCount 0).
struct TCellAttr {
  uint32_t FontColor = clNone;
  uint32_t BackColor = clNone;
  uint8_t VAlign = 0;       // 1 top, 2 bottom, 3 middle
  uint8_t HAlign = 0;       // 1 left, 2 right, 3 centre
  uint8_t Orientation = 0;  // 1 vertical, 2 horizontal
  int32_t WrapCount = 0;    // characters per line or column; 0 also means no wrap
  bool operator==(const TCellAttr&) const = default;
};

// Field by field: a's value where set, otherwise b's.
inline TCellAttr MergeAttr(const TCellAttr& a, const TCellAttr& b) {
  TCellAttr m;
  m.FontColor = a.FontColor != clNone ? a.FontColor : b.FontColor;
  m.BackColor = a.BackColor != clNone ? a.BackColor : b.BackColor;
  m.VAlign = a.VAlign ? a.VAlign : b.VAlign;
  m.HAlign = a.HAlign ? a.HAlign : b.HAlign;
  m.Orientation = a.Orientation ? a.Orientation : b.Orientation;
  m.WrapCount = a.WrapCount ? a.WrapCount : b.WrapCount;
  return m;
}

// Kinds of the default records.
enum : int { dkDisabled = 1, dkSelected = 2, dkNormal = 3, dkFixed = 4 };

class TSqlGrid : public TStringGrid {
 public:
  // Font "ＭＳ ゴシック" 9 pt, DefaultRowHeight 24, DefaultColWidth 1,
  // Margin 4, range selection on, disabled.
  explicit TSqlGrid(QWidget* parent = nullptr);
  ~TSqlGrid() override;

  // Attribute records, created (all unset) on first request; nullptr outside
  // the table's range: RowAttr for data rows, ColAttr for data columns,
  // FixedRowAttr/FixedColAttr for fixed ones, CellAttr for any cell. Records
  // belong to positions and survive count changes while their position
  // exists. A returned pointer stays valid until its position is removed.
  TCellAttr* RowAttr(int row);
  TCellAttr* ColAttr(int col);
  TCellAttr* FixedRowAttr(int row);
  TCellAttr* FixedColAttr(int col);
  TCellAttr* CellAttr(int col, int row);
  // Kind 1..4 (dk...); nullptr for another kind. Callers may change them.
  TCellAttr* DefaultAttr(int kind);

  // The merged attributes of a cell: the selection rule when `selected` and
  // the cell is a data cell, the fixed rule for a fixed cell.
  TCellAttr EffectiveAttr(int col, int row, bool selected) const;

  // The size the cell's text needs, margins included.
  TTextExtent MeasureCell(int col, int row);
  // The size `text` would need in that cell (the cell's own text is not
  // read): for a text about to be stored.
  TTextExtent MeasureText(int col, int row, std::string_view text);

  int Margin() const { return margin_; }
  void SetMargin(int m);
  const std::string& EmptyText() const { return emptyText_; }
  void SetEmptyText(std::string_view text);

  TGridMetrics& Metrics();

 protected:
  void DrawCell(QPainter& p, int col, int row, const TGridRect& rect,
                TGridDrawState state) override;
  void Paint(QPainter& p, const QRect& dirty) override;
  void SizeChanged(int oldColCount, int oldRowCount) override;
  void resizeEvent(QResizeEvent* e) override;
  void changeEvent(QEvent* e) override;

 private:
  // Draws chars_ into the cell rectangle under the merged attributes;
  // `back` is a.BackColor as the caller already resolved it.
  void DrawChars(QPainter& p, const TGridRect& rect, const TCellAttr& a, const QColor& back);
  const TCellAttr* FindCellAttr(int col, int row) const;
  // The orientation and wrap count of a cell as EffectiveAttr merges them,
  // without merging the colours: all that measuring needs.
  void TextLayout(int col, int row, uint8_t& orientation, int32_t& wrap) const;
  void LayeredTextLayout(int col, int row, uint8_t& orientation, int32_t& wrap) const;

  // Indexed by position: the fixed positions hold the fixed-row (fixed
  // column) table, the others the row (column) table. A deque keeps
  // pointers stable while rows are appended.
  std::deque<TCellAttr> rowAttrs_;
  std::deque<TCellAttr> colAttrs_;
  std::unordered_map<uint64_t, TCellAttr> cellAttrs_;
  int cellAttrMaxRow_ = -1;
  TCellAttr defaults_[4];
  int margin_ = 4;
  std::string emptyText_;
  std::unique_ptr<TQtGridMetrics> metrics_;
  std::vector<uint16_t> chars_;
  std::vector<TCharPos> pos_;
};

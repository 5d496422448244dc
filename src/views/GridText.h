#pragma once
// Text measuring and placement of the result grid. The rules are pure
// functions over TGridMetrics, so they are exact for any font and can be
// checked with fixed-width fake metrics; TQtGridMetrics supplies the real
// font with a per-font cache of character widths.
//
// A cell text is cp932; it is measured and drawn character by character, a
// double-byte character being one unit. A character is held as its cp932
// code: the byte for a single-byte character, lead * 256 + trail otherwise.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <QFont>

struct TCellAttr;

struct TTextExtent {
  int Width = 0;
  int Height = 0;
  bool operator==(const TTextExtent&) const = default;
};

// A rectangle in pixels. For a cell, Right and Bottom are one past the cell
// (Right = Left + column width); a text rectangle's Right and Bottom are its
// last pixel, as the placement rule produces them.
struct TGridRect {
  int Left = 0;
  int Top = 0;
  int Right = 0;
  int Bottom = 0;
  bool operator==(const TGridRect&) const = default;
};

// Where one character (or, for unwrapped horizontal text, the whole text)
// is drawn: the top-left corner of its extent.
struct TCharPos {
  int Index = 0;  // into the character list; -1 for the whole text at once
  int X = 0;
  int Y = 0;
  bool operator==(const TCharPos&) const = default;
};

class TGridMetrics {
 public:
  virtual ~TGridMetrics() = default;
  // Width and height of one character in the grid font.
  virtual TTextExtent CharExtent(uint16_t ch) = 0;
  // The extent of "A": the unit of line height and of line capacity.
  TTextExtent ExtentOfA() { return CharExtent('A'); }
};

// Splits cp932 bytes into characters (appended to `out`, which is cleared
// first). A lead byte at the very end counts as a character of its own.
void SplitChars(std::string_view sjis, std::vector<uint16_t>& out);

// Orientation codes of TCellAttr.
enum : uint8_t { orNone = 0, orVertical = 1, orHorizontal = 2 };

// Extent of horizontal text with wrap count n (0: one line).
TTextExtent HorzExtent(TGridMetrics& m, const std::vector<uint16_t>& chars, int wrap);
// Extent of vertical text: columns of n characters placed left to right.
TTextExtent VertExtent(TGridMetrics& m, const std::vector<uint16_t>& chars, int wrap, int margin);
// The extent by the orientation (1 vertical, anything else horizontal).
TTextExtent TextExtent(TGridMetrics& m, const std::vector<uint16_t>& chars, uint8_t orientation,
                       int wrap, int margin);

// The size a cell needs for its text under the merged attributes `attr`:
// the wrap count is limited to the text length and three margins are added
// both ways (so an empty text still needs 3 * margin).
TTextExtent MeasureCellText(TGridMetrics& m, const std::vector<uint16_t>& chars,
                            const TCellAttr& attr, int margin);

// The text rectangle for `extent` inside `cell` under the two alignments
// (1 top/left, 2 bottom/right, 3 middle/centre; anything else counts as
// middle/centre). Offsets may be negative when the text is larger.
TGridRect PlaceText(const TGridRect& cell, TTextExtent extent, uint8_t valign, uint8_t halign,
                    int margin);

// Drawing positions inside the text rectangle. Horizontal text with wrap 0
// gives one position (Index -1) for the whole text.
void HorzPositions(TGridMetrics& m, const std::vector<uint16_t>& chars, const TGridRect& textRect,
                   int wrap, std::vector<TCharPos>& out);
void VertPositions(TGridMetrics& m, const std::vector<uint16_t>& chars, const TGridRect& textRect,
                   int wrap, uint8_t valign, std::vector<TCharPos>& out);

// Real metrics of a Qt font. Widths are cached per font (shared by every
// grid using an equal font), so a width costs a table look-up after the
// first query.
class TQtGridMetrics final : public TGridMetrics {
 public:
  explicit TQtGridMetrics(const QFont& font);
  TTextExtent CharExtent(uint16_t ch) override { return {CharWidth(ch), height_}; }
  int CharWidth(uint16_t ch) {
    const int w = widths_[ch];
    return w >= 0 ? w : Measure(ch);
  }
  // The width every printable ASCII character (0x20 to 0x7E) has in a
  // fixed-pitch font, -1 where they differ.
  int PrintableAsciiWidth() const { return printableAscii_; }
  int Height() const { return height_; }
  const QFont& Font() const { return font_; }
  int Ascent() const { return ascent_; }

 private:
  struct TCache;
  int Measure(uint16_t ch);

  QFont font_;
  std::shared_ptr<TCache> cache_;
  int16_t* widths_ = nullptr;  // the cache's table, by cp932 code; -1 unknown
  int printableAscii_ = -1;
  int height_ = 0;
  int ascent_ = 0;
};

// The character as a Qt string (for drawing).
QString CharToQString(uint16_t ch);

// Maps the fonts the system names ("ＭＳ ゴシック", "ＭＳ Ｐゴシック") to the
// installed metric-compatible IPA fonts. Call once at start-up, before any
// grid is created.
void InstallFontSubstitutions();

// The grid font: "ＭＳ ゴシック", 9 points.
QFont GridFont();

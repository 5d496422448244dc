#include "views/GridText.h"

#include <QFontMetrics>
#include <QString>
#include <algorithm>
#include <map>

#include "core/Sjis.h"
#include "views/SqlGrid.h"

namespace {

// Extents are kept far below int overflow whatever wrap count a damaged
// settings file holds.
constexpr int64_t kMaxExtent = int64_t{1} << 24;

int Sat(int64_t v) { return static_cast<int>(std::clamp(v, -kMaxExtent, kMaxExtent)); }

}  // namespace

void SplitChars(std::string_view s, std::vector<uint16_t>& out) {
  out.clear();
  const size_t n = s.size();
  for (size_t i = 0; i < n;) {
    auto b = static_cast<unsigned char>(s[i]);
    if (IsLeadByte(b) && i + 1 < n) {
      out.push_back(static_cast<uint16_t>((b << 8) | static_cast<unsigned char>(s[i + 1])));
      i += 2;
    } else {
      out.push_back(b);
      ++i;
    }
  }
}

TTextExtent HorzExtent(TGridMetrics& m, const std::vector<uint16_t>& chars, int wrap) {
  if (chars.empty()) return {};
  const TTextExtent a = m.ExtentOfA();
  if (wrap <= 0) {
    int64_t width = 0;
    for (uint16_t ch : chars) width += m.CharExtent(ch).Width;
    return {Sat(width), a.Height};
  }
  const int64_t capacity = int64_t{wrap} * a.Width;
  int64_t height = a.Height, left = capacity, line = 0, widest = 0;
  for (uint16_t ch : chars) {
    const int w = m.CharExtent(ch).Width;
    if (w > left) {
      left = capacity;
      height += a.Height;
      widest = std::max(widest, line);
      line = 0;
    }
    left -= w;
    line += w;
  }
  return {Sat(std::max(widest, line)), Sat(height)};
}

TTextExtent VertExtent(TGridMetrics& m, const std::vector<uint16_t>& chars, int wrap, int margin) {
  int maxW = 0, maxH = 0;
  for (uint16_t ch : chars) {
    const TTextExtent e = m.CharExtent(ch);
    maxW = std::max(maxW, e.Width);
    maxH = std::max(maxH, e.Height);
  }
  const int64_t len = static_cast<int64_t>(chars.size());
  if (wrap > 0) return {Sat((len + wrap - 1) / wrap * maxW), Sat(int64_t{wrap} * maxH)};
  return {margin + maxW, Sat(len * maxH)};
}

TTextExtent TextExtent(TGridMetrics& m, const std::vector<uint16_t>& chars, uint8_t orientation,
                       int wrap, int margin) {
  return orientation == orVertical ? VertExtent(m, chars, wrap, margin)
                                   : HorzExtent(m, chars, wrap);
}

TTextExtent MeasureCellText(TGridMetrics& m, const std::vector<uint16_t>& chars,
                            const TCellAttr& attr, int margin) {
  const int wrap = std::min<int>(attr.WrapCount, static_cast<int>(chars.size()));
  const TTextExtent e = TextExtent(m, chars, attr.Orientation, wrap, margin);
  return {e.Width + 3 * margin, e.Height + 3 * margin};
}

TGridRect PlaceText(const TGridRect& cell, TTextExtent extent, uint8_t valign, uint8_t halign,
                    int margin) {
  int y, x;
  switch (valign) {
    case 1: y = cell.Top + margin; break;
    case 2: y = cell.Bottom - extent.Height - margin; break;
    default: y = cell.Top + (cell.Bottom - cell.Top + 1 - extent.Height) / 2; break;
  }
  switch (halign) {
    case 1: x = cell.Left + margin; break;
    case 2: x = cell.Right - extent.Width - margin; break;
    default: x = cell.Left + (cell.Right - cell.Left + 1 - extent.Width) / 2; break;
  }
  return {x, y, x + extent.Width - 1, y + extent.Height - 1};
}

void HorzPositions(TGridMetrics& m, const std::vector<uint16_t>& chars, const TGridRect& r,
                   int wrap, std::vector<TCharPos>& out) {
  out.clear();
  if (chars.empty()) return;
  const TTextExtent a = m.ExtentOfA();
  if (wrap <= 0) {
    const int h = a.Height;  // the height of the unwrapped text's extent
    out.push_back({-1, r.Left, r.Top + (r.Bottom - r.Top + 1 - h) / 2});
    return;
  }
  const int64_t capacity = int64_t{wrap} * a.Width;
  int64_t left = capacity;
  int x = r.Left, y = r.Top;
  for (size_t i = 0; i < chars.size(); ++i) {
    const int w = m.CharExtent(chars[i]).Width;
    if (w > left) {
      left = capacity;
      y += a.Height;
      x = r.Left;
    }
    out.push_back({static_cast<int>(i), x, y});
    left -= w;
    x += w;
  }
}

void VertPositions(TGridMetrics& m, const std::vector<uint16_t>& chars, const TGridRect& r,
                   int wrap, uint8_t valign, std::vector<TCharPos>& out) {
  out.clear();
  const int len = static_cast<int>(chars.size());
  if (len == 0) return;
  int64_t n = wrap, columns;
  if (n < 1) {
    n = len;
    columns = 1;
  } else {
    columns = (len + n - 1) / n;
  }
  const int64_t blank = (n - len % n) % n;
  const int64_t pitchY = (int64_t{r.Bottom} - r.Top + 1) / n;
  const int64_t pitchX = (int64_t{r.Right} - r.Left + 1) / columns;
  for (int i = 1; i <= len; ++i) {
    const int64_t place = (i - 1) % n;
    const int64_t column = (i - 1) / n;  // from 0
    int64_t y = place * pitchY;
    if (column == columns - 1) {
      if (valign == 2)
        y = (place + blank) * pitchY;
      else if (valign == 3)
        y = blank * pitchY / 2 + place * pitchY;
    }
    const int w = m.CharExtent(chars[i - 1]).Width;
    const int64_t x = r.Left + column * pitchX + (pitchX - w) / 2;
    out.push_back({i - 1, Sat(x), Sat(r.Top + y)});
  }
}

// ---------------------------------------------------------------------------

struct TQtGridMetrics::TCache {
  explicit TCache(const QFont& f) : Metrics(f), Widths(65536, -1) {
    for (uint16_t ch = 0x20; ch < 0x7F; ++ch) {
      const int w = std::clamp(Metrics.horizontalAdvance(QChar(ch)), 0, 32767);
      Widths[ch] = static_cast<int16_t>(w);
      if (ch == 0x20) PrintableAscii = w;
      else if (w != PrintableAscii) PrintableAscii = -1;
    }
  }
  QFontMetrics Metrics;
  std::vector<int16_t> Widths;  // by cp932 code; -1 until measured
  int PrintableAscii = -1;
};

TQtGridMetrics::TQtGridMetrics(const QFont& font) : font_(font) {
  // One cache per distinct font, shared by the grids that use it while any
  // of them lives (so no font object outlives the application).
  static std::map<QString, std::weak_ptr<TCache>> caches;
  auto& slot = caches[font.key()];
  cache_ = slot.lock();
  if (!cache_) {
    cache_ = std::make_shared<TCache>(font);
    slot = cache_;
  }
  widths_ = cache_->Widths.data();
  printableAscii_ = cache_->PrintableAscii;
  height_ = cache_->Metrics.height();
  ascent_ = cache_->Metrics.ascent();
}

int TQtGridMetrics::Measure(uint16_t ch) {
  const int w = std::clamp(cache_->Metrics.horizontalAdvance(CharToQString(ch)), 0, 32767);
  widths_[ch] = static_cast<int16_t>(w);
  return w;
}

QString CharToQString(uint16_t ch) {
  if (ch < 0x80) return QString(QChar(ch));
  char bytes[2];
  size_t n = 0;
  if (ch > 0xFF) bytes[n++] = static_cast<char>(ch >> 8);
  bytes[n++] = static_cast<char>(ch & 0xFF);
  return QString::fromStdString(SjisToUtf8(std::string_view(bytes, n)));
}

void InstallFontSubstitutions() {
  static bool done = false;
  if (done) return;
  done = true;
  QFont::insertSubstitution(QString::fromUtf8("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
  QFont::insertSubstitution(QString::fromUtf8("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
}

QFont GridFont() {
  InstallFontSubstitutions();
  QFont font(QString::fromUtf8("ＭＳ ゴシック"));
  font.setPointSize(9);
  font.setStyleHint(QFont::TypeWriter);
  return font;
}

#include "views/CellFinder.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <limits>

#include "core/Sjis.h"
#include "views/StringGrid.h"

namespace {

// Case folding and word characters of every cp932 character, taken from
// Qt's Unicode tables once, so that the grid decides as the edit does.
struct TSjisTables {
  unsigned char FoldByte[256];
  bool WordByte[256];
  std::vector<uint16_t> Fold;  // double-byte code (lead << 8 | trail) -> folded code
  std::vector<bool> Word;      // by double-byte code

  TSjisTables() : Fold(0x10000), Word(0x10000, false) {
    for (int b = 0; b < 256; ++b) {
      FoldByte[b] = static_cast<unsigned char>(b >= 'A' && b <= 'Z' ? b - 'A' + 'a' : b);
      WordByte[b] = false;
      const auto c = static_cast<unsigned char>(b);
      if (c >= 0x80 && !(c >= 0xA1 && c <= 0xDF)) continue;  // lead bytes and unused ones
      const QString u = QString::fromStdString(SjisToUtf8(std::string(1, static_cast<char>(c))));
      if (u.size() == 1) WordByte[b] = IsWordChar(u[0].unicode());
    }
    for (int code = 0; code < 0x10000; ++code) Fold[code] = static_cast<uint16_t>(code);
    for (int lead = 0x81; lead <= 0xFC; ++lead) {
      if (!IsLeadByte(static_cast<unsigned char>(lead))) continue;
      for (int trail = 0x40; trail <= 0xFC; ++trail) {
        if (trail == 0x7F) continue;
        const char bytes[] = {static_cast<char>(lead), static_cast<char>(trail)};
        const QString u = QString::fromStdString(SjisToUtf8(std::string_view(bytes, 2)));
        if (u.size() != 1 || u[0] == QLatin1Char('?')) continue;  // no character there
        const int code = lead << 8 | trail;
        Word[code] = IsWordChar(u[0].unicode());
        // The folded character's own code: the IBM and NEC copies of one
        // character become one code too.
        const std::string folded = Utf8ToSjis(QString(u[0].toCaseFolded()).toStdString());
        if (folded.size() == 2)
          Fold[code] = static_cast<uint16_t>(static_cast<unsigned char>(folded[0]) << 8 |
                                             static_cast<unsigned char>(folded[1]));
      }
    }
  }

  void FoldText(std::string_view in, std::string& out) const {
    out.resize(in.size());
    const auto* s = reinterpret_cast<const unsigned char*>(in.data());
    auto* d = reinterpret_cast<unsigned char*>(out.data());
    const size_t n = in.size();
    for (size_t i = 0; i < n;) {
      const unsigned char c = s[i];
      if (c < 0x80) {
        d[i++] = FoldByte[c];
      } else if (IsLeadByte(c) && i + 1 < n) {
        const uint16_t f = Fold[c << 8 | s[i + 1]];
        d[i] = static_cast<unsigned char>(f >> 8);
        d[i + 1] = static_cast<unsigned char>(f);
        i += 2;
      } else {
        d[i++] = c;
      }
    }
  }

  bool WordAt(std::string_view s, size_t i) const {
    const auto c = static_cast<unsigned char>(s[i]);
    if (IsLeadByte(c) && i + 1 < s.size()) return Word[c << 8 | static_cast<unsigned char>(s[i + 1])];
    return WordByte[c];
  }
};

const TSjisTables& Tables() {
  static const TSjisTables tables;
  return tables;
}

// The character before pos and the one at pos, surrogate pairs joined.
char32_t CharBefore(const QString& text, qsizetype pos) {
  const QChar c = text[pos - 1];
  if (c.isLowSurrogate() && pos >= 2 && text[pos - 2].isHighSurrogate())
    return QChar::surrogateToUcs4(text[pos - 2], c);
  return c.unicode();
}

char32_t CharAt(const QString& text, qsizetype pos) {
  const QChar c = text[pos];
  if (c.isHighSurrogate() && pos + 1 < text.size() && text[pos + 1].isLowSurrogate())
    return QChar::surrogateToUcs4(c, text[pos + 1]);
  return c.unicode();
}

bool WholeWordAt(const QString& text, qsizetype pos, qsizetype length) {
  if (pos > 0 && IsWordChar(CharBefore(text, pos))) return false;
  const qsizetype end = pos + length;
  return end >= text.size() || !IsWordChar(CharAt(text, end));
}

}  // namespace

bool IsWordChar(char32_t c) { return c == U'_' || QChar::isLetterOrNumber(c); }

qsizetype FindInText(const QString& text, const QString& pattern, qsizetype from, bool forward,
                     const TFindOptions& options) {
  if (pattern.isEmpty() || from < 0 || from > text.size()) return -1;
  const Qt::CaseSensitivity cs = options.MatchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
  for (qsizetype p = forward ? text.indexOf(pattern, from, cs) : text.lastIndexOf(pattern, from, cs); p >= 0;) {
    if (!options.WholeWord || WholeWordAt(text, p, pattern.size())) return p;
    if (forward) {
      p = text.indexOf(pattern, p + 1, cs);
    } else {
      if (p == 0) break;
      p = text.lastIndexOf(pattern, p - 1, cs);
    }
  }
  return -1;
}

bool MatchesAt(const QString& text, const QString& pattern, qsizetype pos, const TFindOptions& options) {
  if (pattern.isEmpty() || pos < 0 || pos + pattern.size() > text.size()) return false;
  const Qt::CaseSensitivity cs = options.MatchCase ? Qt::CaseSensitive : Qt::CaseInsensitive;
  if (QStringView(text).mid(pos, pattern.size()).compare(pattern, cs) != 0) return false;
  return !options.WholeWord || WholeWordAt(text, pos, pattern.size());
}

TCellFinder::TCellFinder(std::string_view pattern, const TFindOptions& options) : options_(options) {
  if (options.MatchCase)
    pattern_.assign(pattern);
  else
    Tables().FoldText(pattern, pattern_);
}

bool TCellFinder::Matches(std::string_view text) const {
  if (pattern_.empty() || text.size() < pattern_.size()) return false;
  const TSjisTables& t = Tables();
  std::string_view s = text;
  if (!options_.MatchCase) {
    t.FoldText(text, folded_);
    s = folded_;
  }
  constexpr size_t kNone = std::numeric_limits<size_t>::max();
  size_t boundary = 0, previous = kNone;  // a character start, and the one before it
  for (size_t from = 0;;) {
    const size_t p = s.find(pattern_, from);
    if (p == std::string_view::npos) return false;
    while (boundary < p) {
      previous = boundary;
      boundary += SjisCharLen(s, boundary);
    }
    from = p + 1;
    if (boundary != p) continue;  // starts on a trail byte
    if (!options_.WholeWord) return true;
    const size_t end = p + pattern_.size();
    if ((previous == kNone || !t.WordAt(s, previous)) && (end >= s.size() || !t.WordAt(s, end))) return true;
  }
}

TGridFindResult FindInGrid(const TStringGrid& grid, const TCellFinder& finder, int col, int row, bool forward,
                           bool wrap, const std::function<void()>& pause) {
  TGridFindResult result;
  const int cols = grid.ColCount(), rows = grid.RowCount();
  const int firstCol = grid.FixedCols(), firstRow = grid.FixedRows();
  const int lastCol = cols - 1, lastRow = rows - 1;
  if (finder.Empty() || firstCol > lastCol || firstRow > lastRow) return result;
  col = std::clamp(col, firstCol, lastCol);
  row = std::clamp(row, firstRow, lastRow);
  const int height = lastRow - firstRow + 1;
  const int step = forward ? 1 : -1;

  using Clock = std::chrono::steady_clock;
  auto lastPause = Clock::now();
  size_t sinceCheck = 0;
  std::vector<std::string_view> cells;
  // Visit t of height + 1: the start row's rest, every other row, and (on
  // wrapping) the start row up to the start cell.
  for (int t = 0; t <= height; ++t) {
    int r = row + step * t;
    const bool wrapped = r > lastRow || r < firstRow || t == height;
    if (wrapped && !wrap) break;
    if (r > lastRow) r -= height;
    if (r < firstRow) r += height;
    int from = forward ? firstCol : lastCol, to = forward ? lastCol : firstCol;
    if (t == 0) from = col + step;
    if (t == height) to = col;
    if (forward ? from > to : from < to) continue;

    if (sinceCheck > 16384) {
      sinceCheck = 0;
      if (pause && Clock::now() - lastPause >= std::chrono::milliseconds(kPauseMs)) {
        pause();
        lastPause = Clock::now();
        if (grid.ColCount() != cols || grid.RowCount() != rows) return result;
      }
    }
    grid.RowView(r, cells);
    ++sinceCheck;
    // Cells past the stored ones are empty and match nothing.
    const int stored = static_cast<int>(cells.size());
    if (forward) {
      to = std::min(to, stored - 1);
      if (from > to) continue;
    } else {
      from = std::min(from, stored - 1);
      if (from < to) continue;
    }
    sinceCheck += static_cast<size_t>(std::abs(to - from)) + 1;
    for (int c = from;; c += step) {
      if (finder.Matches(cells[static_cast<size_t>(c)])) {
        result = {true, wrapped, c, r};
        return result;
      }
      if (c == to) break;
    }
  }
  return result;
}

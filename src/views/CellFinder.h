#pragma once
// Finding a text in the SQL edit (Unicode) and among the result grid's cells
// (cp932 bytes, read where the grid keeps them) by the same rules:
// - without MatchCase, letters compare as QString folds their case, so
//   full-width, Greek and Cyrillic letters fold as ASCII ones do;
// - a match starts and ends on character boundaries: a double-byte
//   character is never split, its trail byte never starts a match;
// - a whole word has no letter, digit or "_" right before or after it
//   (kana and kanji are letters, so 顧客 is not a word of 顧客名).

#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TStringGrid;

struct TFindOptions {
  bool MatchCase = false;
  bool WholeWord = false;
};

// Letters, digits and "_" make up words.
bool IsWordChar(char32_t c);

// The first match in text starting at or after `from` (forward), or the
// last one starting at or before `from` (backward); -1 when there is none.
// An empty pattern matches nothing.
qsizetype FindInText(const QString& text, const QString& pattern, qsizetype from, bool forward,
                     const TFindOptions& options);
// Whether text holds a match exactly at [pos, pos + pattern's length).
bool MatchesAt(const QString& text, const QString& pattern, qsizetype pos, const TFindOptions& options);

// A pattern prepared for cp932 texts. Matches reuses one buffer: one
// thread at a time.
class TCellFinder {
 public:
  // pattern: cp932 bytes.
  TCellFinder(std::string_view pattern, const TFindOptions& options);
  bool Empty() const { return pattern_.empty(); }
  // Whether text (cp932) holds a match anywhere.
  bool Matches(std::string_view text) const;

 private:
  std::string pattern_;  // case-folded unless MatchCase
  TFindOptions options_;
  mutable std::string folded_;  // the text being searched, case-folded
};

struct TGridFindResult {
  bool Found = false;
  bool Wrapped = false;  // went past the last (first) cell to get there
  int Col = 0;
  int Row = 0;
};

// Searches the grid's data cells row by row, columns left to right, from the
// cell after (col, row); backward, the same order reversed from the cell
// before it. With wrap the search goes on from the other end and ends with
// (col, row) itself. A search that runs long calls pause about every
// kPauseMs; pause may let messages through. If the grid's size changes
// meanwhile the search ends as not found.
TGridFindResult FindInGrid(const TStringGrid& grid, const TCellFinder& finder, int col, int row, bool forward,
                           bool wrap, const std::function<void()>& pause);
inline constexpr int kPauseMs = 40;

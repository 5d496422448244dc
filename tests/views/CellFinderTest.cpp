// Finding a text in the edit's Unicode and in cp932 cells by the same rules,
// and the order in which the grid's cells are searched.

#include <gtest/gtest.h>

#include <QString>
#include <string>
#include <utility>

#include "core/Sjis.h"
#include "views/CellFinder.h"
#include "views/StringGrid.h"

namespace {

struct TCase {
  const char* Name;
  const char* Text;     // UTF-8
  const char* Pattern;  // UTF-8
  bool MatchCase, WholeWord;
  int At;  // first match in the text (UTF-16 index), -1 for none
};

const TCase kCases[] = {
    {"ascii case folded", "select * from EMP", "emp", false, false, 14},
    {"ascii case kept", "select * from EMP", "emp", true, false, -1},
    {"full-width letters fold", "ＳＥＬＥＣＴ文", "ｓｅｌｅｃｔ", false, false, 0},
    {"full-width letters kept", "ＳＥＬＥＣＴ文", "ｓｅｌｅｃｔ", true, false, -1},
    {"greek folds", "ΑΒΓ", "αβγ", false, false, 0},
    {"cyrillic folds", "ЖУК", "жук", false, false, 0},
    {"kana and kanji", "SELECT 社員名 FROM 社員表", "社員表", true, false, 16},
    // ソ and 表 end in the byte of "\", which must not match inside them.
    {"no match on a trail byte", "ソ表", "\\", false, false, -1},
    {"after a trail-byte candidate", "ソ\\", "\\", false, false, 1},
    {"half-width kana", "ｶﾀｶﾅ", "ﾀｶ", true, false, 1},
    {"word inside an identifier", "user_name, name", "name", false, true, 11},
    {"word at both ends", "name", "NAME", false, true, 0},
    {"kanji word inside a longer one", "顧客名 「顧客」", "顧客", false, true, 5},
    {"digits make words too", "ID1 ID", "id", false, true, 4},
    {"word next to full-width space", "社員\u3000顧客", "顧客", false, true, 3},
    {"no word at all", "name_x", "name", false, true, -1},
    {"empty pattern", "abc", "", false, false, -1},
};

}  // namespace

TEST(CellFinder, EditAndCellsFindTheSameMatches) {
  for (const TCase& c : kCases) {
    SCOPED_TRACE(c.Name);
    const QString text = QString::fromUtf8(c.Text), pattern = QString::fromUtf8(c.Pattern);
    const TFindOptions options{c.MatchCase, c.WholeWord};
    EXPECT_EQ(FindInText(text, pattern, 0, true, options), c.At);
    EXPECT_EQ(TCellFinder(Utf8ToSjis(c.Pattern), options).Matches(Utf8ToSjis(c.Text)), c.At >= 0);
    if (c.At < 0) continue;
    // Backward from the end finds the last match, which is the first here.
    EXPECT_EQ(FindInText(text, pattern, text.size(), false, options), c.At);
    EXPECT_TRUE(MatchesAt(text, pattern, c.At, options));
    EXPECT_EQ(FindInText(text, pattern, c.At + 1, true, options), -1);
    EXPECT_EQ(FindInText(text, pattern, c.At - 1, false, options), -1);
  }
}

TEST(CellFinder, EveryCp932LetterFoldsAsQtFoldsIt) {
  // Each double-byte character against its upper- and lower-case partner.
  int pairs = 0;
  for (int lead = 0x81; lead <= 0xFC; ++lead) {
    if (!IsLeadByte(static_cast<unsigned char>(lead))) continue;
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      const std::string bytes{static_cast<char>(lead), static_cast<char>(trail)};
      const QString u = QString::fromStdString(SjisToUtf8(bytes));
      if (u.size() != 1 || u == QLatin1String("?")) continue;
      for (const QString& other : {u.toUpper(), u.toLower()}) {
        if (other == u || !SjisCanHold(other.toStdString())) continue;
        SCOPED_TRACE(u.toStdString() + " " + other.toStdString());
        ++pairs;
        const bool same = u.compare(other, Qt::CaseInsensitive) == 0;
        EXPECT_EQ(TCellFinder(bytes, {}).Matches(Utf8ToSjis(other.toStdString())), same);
        EXPECT_FALSE(TCellFinder(bytes, {true, false}).Matches(Utf8ToSjis(other.toStdString())));
      }
    }
  }
  EXPECT_GT(pairs, 200);  // full-width Latin, Greek, Cyrillic, roman numerals
}

TEST(CellFinder, GridIsSearchedRowByRowFromTheCurrentCell) {
  // Data cells (1..3, 1..3); "x" stands in (1,1), (3,1), (2,3) and nowhere else.
  TStringGrid grid;
  grid.SetColCount(4);
  grid.SetRowCount(4);
  for (auto [c, r] : {std::pair{1, 1}, {3, 1}, {2, 3}}) grid.SetCells(c, r, "x");
  grid.SetCells(2, 2, "y");
  grid.SetCells(1, 0, "x");  // the fixed row is not searched
  const TCellFinder x("x", {});
  struct {
    int Col, Row;
    bool Forward, Wrap;
    TGridFindResult Want;
  } const steps[] = {
      {1, 1, true, true, {true, false, 3, 1}},  {3, 1, true, true, {true, false, 2, 3}},
      {2, 3, true, true, {true, true, 1, 1}},   {2, 3, true, false, {}},
      {1, 1, false, true, {true, true, 2, 3}},  {2, 3, false, true, {true, false, 3, 1}},
      {1, 1, false, false, {}},                 {2, 2, false, true, {true, false, 3, 1}},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(std::to_string(s.Col) + "," + std::to_string(s.Row) + (s.Forward ? " forward" : " backward"));
    const TGridFindResult got = FindInGrid(grid, x, s.Col, s.Row, s.Forward, s.Wrap, {});
    EXPECT_EQ(got.Found, s.Want.Found);
    EXPECT_EQ(got.Wrapped, s.Want.Wrapped);
    EXPECT_EQ(got.Col, s.Want.Col);
    EXPECT_EQ(got.Row, s.Want.Row);
  }
  // The only match is the current cell: found again after going round.
  const TGridFindResult self = FindInGrid(grid, TCellFinder("y", {}), 2, 2, true, true, {});
  EXPECT_TRUE(self.Found && self.Wrapped && self.Col == 2 && self.Row == 2);
}

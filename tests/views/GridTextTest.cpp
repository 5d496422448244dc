#include <gtest/gtest.h>

#include "FakeMetrics.h"
#include "core/Sjis.h"
#include "views/GridText.h"
#include "views/SqlGrid.h"

namespace {

std::vector<uint16_t> Chars(std::string_view utf8) {
  std::vector<uint16_t> out;
  SplitChars(SJ(utf8), out);
  return out;
}

TCellAttr Attr(uint8_t orientation, int wrap, uint8_t valign = 3, uint8_t halign = 3) {
  TCellAttr a;
  a.Orientation = orientation;
  a.WrapCount = wrap;
  a.VAlign = valign;
  a.HAlign = halign;
  return a;
}

}  // namespace

TEST(GridText, SplitsDoubleByteCharactersAsOneUnit) {
  std::vector<uint16_t> out;
  SplitChars(SJ("Aあｱ"), out);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0], 'A');
  EXPECT_EQ(out[1], 0x82A0);  // あ
  EXPECT_EQ(out[2], 0xB1);    // half-width ｱ is one byte
  // A lead byte at the very end stands alone instead of reading past the text.
  SplitChars(std::string("A\x82", 2), out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1], 0x82);
}

TEST(GridText, EmptyCellStillNeedsItsMargins) {
  TFakeMetrics m;
  const std::vector<uint16_t> none;
  EXPECT_EQ(MeasureCellText(m, none, Attr(orHorizontal, 0), 4), (TTextExtent{12, 12}));
  EXPECT_EQ(MeasureCellText(m, none, Attr(orHorizontal, 10), 4), (TTextExtent{12, 12}));
  // Vertical writing without wrap adds one margin to the width.
  EXPECT_EQ(MeasureCellText(m, none, Attr(orVertical, 0), 4), (TTextExtent{16, 12}));
  EXPECT_EQ(MeasureCellText(m, none, Attr(orVertical, 10), 4), (TTextExtent{16, 12}));
  // And draws nothing.
  std::vector<TCharPos> pos{{0, 1, 1}};
  HorzPositions(m, none, {0, 0, 10, 10}, 0, pos);
  EXPECT_TRUE(pos.empty());
  VertPositions(m, none, {0, 0, 10, 10}, 2, 2, pos);
  EXPECT_TRUE(pos.empty());
}

TEST(GridText, VerticalHeadingOfFiveCharactersWrappedByTwo) {
  TFakeMetrics m;
  const auto chars = Chars("ABCDE");
  // Three columns of 2, 2 and 1 characters.
  const TTextExtent e = VertExtent(m, chars, 2, 4);
  EXPECT_EQ(e, (TTextExtent{18, 24}));
  EXPECT_EQ(MeasureCellText(m, chars, Attr(orVertical, 2), 4), (TTextExtent{30, 36}));
  // Without wrap: one column with a margin beside it.
  EXPECT_EQ(VertExtent(m, chars, 0, 4), (TTextExtent{10, 60}));

  const TGridRect text{100, 50, 117, 73};
  std::vector<TCharPos> pos;
  VertPositions(m, chars, text, 2, 2, pos);
  const std::vector<TCharPos> bottom{
      {0, 100, 50}, {1, 100, 62}, {2, 106, 50}, {3, 106, 62}, {4, 112, 62}};
  EXPECT_EQ(pos, bottom) << "the last column's single character sits in the lower place";

  VertPositions(m, chars, text, 2, 3, pos);
  EXPECT_EQ(pos[4], (TCharPos{4, 112, 56})) << "middle: half a pitch below the top";
  EXPECT_EQ(pos[1], (TCharPos{1, 100, 62})) << "full columns start at the top";

  VertPositions(m, chars, text, 2, 1, pos);
  EXPECT_EQ(pos[4], (TCharPos{4, 112, 50}));
}

TEST(GridText, VerticalCharactersAreCentredInTheirColumn) {
  TFakeMetrics m;
  const auto chars = Chars("Aあ");  // widths 6 and 12
  EXPECT_EQ(VertExtent(m, chars, 0, 4), (TTextExtent{16, 24}));
  std::vector<TCharPos> pos;
  VertPositions(m, chars, {0, 0, 11, 23}, 0, 3, pos);
  ASSERT_EQ(pos.size(), 2u);
  EXPECT_EQ(pos[0], (TCharPos{0, 3, 0}));
  EXPECT_EQ(pos[1], (TCharPos{1, 0, 12}));
}

TEST(GridText, HorizontalWrapBreaksBeforeTheFirstCharacterThatNoLongerFits) {
  TFakeMetrics m;
  // Capacity is 3 x width of "A" = 18.
  EXPECT_EQ(HorzExtent(m, Chars("ABC"), 3), (TTextExtent{18, 12}));
  EXPECT_EQ(HorzExtent(m, Chars("ABCD"), 3), (TTextExtent{18, 24}));
  // A double-byte character uses twice the room: "AB" leaves 6, too little.
  const auto chars = Chars("ABあC");
  EXPECT_EQ(HorzExtent(m, chars, 3), (TTextExtent{18, 24}));
  std::vector<TCharPos> pos;
  HorzPositions(m, chars, {10, 20, 27, 43}, 3, pos);
  const std::vector<TCharPos> expect{{0, 10, 20}, {1, 16, 20}, {2, 10, 32}, {3, 22, 32}};
  EXPECT_EQ(pos, expect);
  // "ABあ" is narrower on its widest line than on one line.
  EXPECT_EQ(HorzExtent(m, Chars("ABあ"), 3), (TTextExtent{12, 24}));
  EXPECT_EQ(HorzExtent(m, Chars("ABあ"), 0), (TTextExtent{24, 12}));
}

TEST(GridText, MeasuringLimitsTheWrapToTheTextLength) {
  TFakeMetrics m;
  // Wrap 10 on a 3-character vertical heading: one column of three, not ten.
  EXPECT_EQ(MeasureCellText(m, Chars("ABC"), Attr(orVertical, 10), 4), (TTextExtent{18, 48}));
  // Drawing keeps the wrap: the extent reserves all ten places.
  EXPECT_EQ(TextExtent(m, Chars("ABC"), orVertical, 10, 4), (TTextExtent{6, 120}));
  EXPECT_EQ(MeasureCellText(m, Chars("12345"), Attr(orHorizontal, 0), 4), (TTextExtent{42, 24}));
}

TEST(GridText, PlacementFollowsTheAlignments) {
  const TGridRect cell{10, 20, 110, 44};  // 100 x 24, right and bottom one past
  const TTextExtent e{30, 12};
  EXPECT_EQ(PlaceText(cell, e, 1, 1, 4), (TGridRect{14, 24, 43, 35}));
  EXPECT_EQ(PlaceText(cell, e, 2, 2, 4), (TGridRect{76, 28, 105, 39}));
  EXPECT_EQ(PlaceText(cell, e, 3, 3, 4), (TGridRect{45, 26, 74, 37}));
  // Larger than the cell: offsets go negative, division truncates toward zero.
  const TGridRect small{0, 0, 10, 10};
  EXPECT_EQ(PlaceText(small, {30, 30}, 3, 3, 4), (TGridRect{-9, -9, 20, 20}));
  // Unwrapped horizontal text is drawn once, centred in its rectangle.
  TFakeMetrics m;
  std::vector<TCharPos> pos;
  HorzPositions(m, {'A', 'B'}, {5, 7, 16, 18}, 0, pos);
  EXPECT_EQ(pos, (std::vector<TCharPos>{{-1, 5, 7}}));
}

TEST(GridText, AnyWrapCountASettingsFileHoldsIsSafe) {
  TFakeMetrics m;
  const auto chars = Chars("ABCDE");
  for (const int wrap : {-5, 1, 2147483647}) {
    SCOPED_TRACE(wrap);
    for (const uint8_t orientation : {orVertical, orHorizontal}) {
      const TTextExtent e = TextExtent(m, chars, orientation, wrap, 4);
      EXPECT_GE(e.Width, 0);
      EXPECT_GE(e.Height, 0);
      const TGridRect r = PlaceText({0, 0, 100, 100}, e, 2, 2, 4);
      std::vector<TCharPos> pos;
      if (orientation == orVertical)
        VertPositions(m, chars, r, wrap, 3, pos);
      else
        HorzPositions(m, chars, r, wrap, pos);
      EXPECT_FALSE(pos.empty());
    }
  }
  // Wrap 1 puts each single-byte character on a line of its own.
  EXPECT_EQ(HorzExtent(m, chars, 1), (TTextExtent{6, 60}));
}

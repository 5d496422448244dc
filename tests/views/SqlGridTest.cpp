#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include "core/Sjis.h"
#include "views/ResultPresenter.h"
#include "views/SqlGrid.h"

namespace {

// Bounding box of the pixels that differ from white.
QRect InkBox(const QImage& img) {
  int l = img.width(), t = img.height(), r = -1, b = -1;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if ((img.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) {
        l = std::min(l, x);
        t = std::min(t, y);
        r = std::max(r, x);
        b = std::max(b, y);
      }
  return r < 0 ? QRect() : QRect(QPoint(l, t), QPoint(r, b));
}

// The grid's client area as it shows once pending events have run.
QImage Shot(TSqlGrid& g) {
  g.show();
  QApplication::processEvents();
  return g.viewport()->grab().toImage();
}

}  // namespace

TEST(SqlGrid, StartsWithItsCreationValuesAndDisabled) {
  TSqlGrid g;
  EXPECT_FALSE(g.Enabled());
  EXPECT_EQ(g.DefaultRowHeight(), 24);
  EXPECT_EQ(g.DefaultColWidth(), 1);
  EXPECT_EQ(g.Margin(), 4);
  EXPECT_EQ(g.FixedCols(), 1);
  EXPECT_EQ(g.FixedRows(), 1);
  EXPECT_TRUE(g.RangeSelect());
  EXPECT_EQ(g.font().pointSize(), 9);
  EXPECT_EQ(*g.DefaultAttr(dkFixed), (TCellAttr{0x000000, 0x8000000F, 3, 3, 2, 0}));
  EXPECT_EQ(*g.DefaultAttr(dkSelected), (TCellAttr{0x8000000E, 0x8000000D, 0, 0, 0, 0}));
  EXPECT_EQ(g.DefaultAttr(0), nullptr);
  EXPECT_EQ(g.DefaultAttr(5), nullptr);
}

TEST(SqlGrid, AttributesBelongToPositionsAndRangesAreChecked) {
  TSqlGrid g;
  g.SetColCount(4);
  g.SetRowCount(6);
  // Tables answer only inside their range.
  EXPECT_EQ(g.RowAttr(0), nullptr);
  EXPECT_EQ(g.RowAttr(6), nullptr);
  EXPECT_EQ(g.FixedRowAttr(1), nullptr);
  EXPECT_EQ(g.ColAttr(0), nullptr);
  EXPECT_EQ(g.FixedColAttr(1), nullptr);
  EXPECT_EQ(g.CellAttr(4, 0), nullptr);
  EXPECT_EQ(g.CellAttr(0, -1), nullptr);
  ASSERT_NE(g.FixedRowAttr(0), nullptr);

  EXPECT_EQ(*g.RowAttr(5), TCellAttr{});  // created unset
  g.RowAttr(2)->BackColor = 0x0000FF;
  g.RowAttr(5)->BackColor = 0x00FF00;
  g.CellAttr(3, 4)->HAlign = 1;
  g.CellAttr(1, 1)->HAlign = 2;
  g.ColAttr(3)->FontColor = 0x123456;

  g.SetRowCount(3);
  g.SetColCount(3);
  EXPECT_EQ(g.RowAttr(5), nullptr);
  g.SetRowCount(6);
  g.SetColCount(4);
  EXPECT_EQ(*g.RowAttr(5), TCellAttr{}) << "re-added rows start without attributes";
  EXPECT_EQ(*g.CellAttr(3, 4), TCellAttr{});
  EXPECT_EQ(*g.ColAttr(3), TCellAttr{});
  EXPECT_EQ(g.RowAttr(2)->BackColor, 0x0000FFu) << "remaining rows keep theirs";
  EXPECT_EQ(g.CellAttr(1, 1)->HAlign, 2);
}

TEST(SqlGrid, MergingOrderOfTheLayers) {
  TSqlGrid g;
  g.SetColCount(3);
  g.SetRowCount(3);
  g.ColAttr(1)->FontColor = 0x0000AA;
  g.ColAttr(1)->BackColor = 0x0000AA;
  g.RowAttr(1)->BackColor = 0x00BB00;
  g.CellAttr(1, 1)->HAlign = 1;
  g.CellAttr(1, 1)->WrapCount = 5;

  const TCellAttr plain = g.EffectiveAttr(1, 1, false);
  EXPECT_EQ(plain.FontColor, 0x0000AAu) << "column below row";
  EXPECT_EQ(plain.BackColor, 0x00BB00u) << "row above column";
  EXPECT_EQ(plain.HAlign, 1) << "cell above all";
  EXPECT_EQ(plain.VAlign, 3) << "Normal fills the rest";
  EXPECT_EQ(plain.WrapCount, 5);

  const TCellAttr sel = g.EffectiveAttr(1, 1, true);
  EXPECT_EQ(sel.FontColor, 0x8000000Eu);
  EXPECT_EQ(sel.BackColor, 0x8000000Du);
  EXPECT_EQ(sel.HAlign, 1) << "a selected cell keeps its own alignment";
  EXPECT_EQ(sel.WrapCount, 5);

  // Fixed cells see the fixed tables only, and never the selection.
  g.FixedRowAttr(0)->VAlign = 2;
  g.FixedColAttr(0)->HAlign = 2;
  const TCellAttr head = g.EffectiveAttr(1, 0, true);
  EXPECT_EQ(head.BackColor, 0x8000000Fu) << "data column colours stay off the heading";
  EXPECT_EQ(head.VAlign, 2);
  EXPECT_EQ(head.HAlign, 3);
  const TCellAttr number = g.EffectiveAttr(0, 1, false);
  EXPECT_EQ(number.BackColor, 0x8000000Fu) << "data row colours stay off the row number";
  EXPECT_EQ(number.HAlign, 2);
  EXPECT_EQ(number.VAlign, 3);
  const TCellAttr corner = g.EffectiveAttr(0, 0, false);
  EXPECT_EQ(corner.VAlign, 2);
  EXPECT_EQ(corner.HAlign, 2);
}

TEST(SqlGrid, DisabledGridShowsOnlyEmptyTextCentred) {
  TSqlGrid g;
  g.SetEmptyText(ResultEmptyText());
  g.SetColCount(3);
  g.SetRowCount(3);
  g.SetColWidths(0, 40);
  g.SetColWidths(1, 80);
  g.SetCells(1, 1, "hidden");
  for (const QSize size : {QSize(400, 200), QSize(300, 150)}) {
    g.resize(size);
    const QImage img = Shot(g);
    const QRect ink = InkBox(img);
    SCOPED_TRACE(size.width());
    ASSERT_TRUE(ink.isValid());
    EXPECT_NEAR(ink.center().x(), img.width() / 2, 3);
    EXPECT_NEAR(ink.center().y(), img.height() / 2, 3);
    EXPECT_LT(ink.height(), 20) << "one line of text, no cells";
  }
  g.SetEnabled(true);
  const QImage img = Shot(g);
  const TGridRect head = g.CellRect(1, 0);
  EXPECT_EQ(img.pixel(head.Left + 1, head.Top + 1) & 0xFFFFFF, 0xFFFFFFu) << "raised: white top-left";
  EXPECT_EQ(img.pixel(head.Left + 5, head.Bottom - 1),
            ToQColor(clBtnShadow, g.palette()).rgb()) << "raised: shadow below";
  EXPECT_EQ(img.pixel(head.Left + 5, head.Top + 5), ToQColor(clBtnFace, g.palette()).rgb());
  EXPECT_EQ(img.pixel(head.Right, head.Top + 5) & 0xFFFFFF, 0u) << "grid line between fixed cells";
}

TEST(SqlGrid, MeasureCellUsesTheUnselectedAttributes) {
  TSqlGrid g;
  g.SetColCount(2);
  g.SetRowCount(2);
  TGridMetrics& m = g.Metrics();
  const int aw = m.ExtentOfA().Width, ah = m.ExtentOfA().Height;
  EXPECT_EQ(g.MeasureCell(1, 1), (TTextExtent{12, 12}));
  g.SetCells(1, 1, "AAAA");
  EXPECT_EQ(g.MeasureCell(1, 1), (TTextExtent{4 * aw + 12, ah + 12}));
  // Data cells take a shortcut; it must agree with the general rule.
  // Texts of every length up to two groups of eight bytes, with a byte
  // outside printable ASCII at every place (control, DEL, kana, kanji, a
  // lead byte, and one at the very end). The grid font is fixed-pitch, so
  // plain texts are measured eight bytes at a time.
  EXPECT_GT(TQtGridMetrics(GridFont()).PrintableAsciiWidth(), 0);
  std::vector<std::string> texts = {"", SJ("日本語 text ｶﾅ"), "x", SJ("全角"), "2024/05/06 07:08:09.123456",
                                    std::string(16, 'A') + "\x81"};
  for (size_t length = 1; length <= 17; ++length) {
    texts.push_back(std::string(length, '~'));
    for (const std::string& odd : {std::string("\t"), std::string("\x7f"), SJ("ｶ"), SJ("漢"), std::string("\x81")})
      for (size_t at = 0; at < length; ++at)
        texts.push_back(std::string(at, '~') + odd + std::string(length - 1 - at, ' '));
  }
  for (const std::string& text : texts) {
    const std::string utf8 = SjisToUtf8(text);
    g.SetCells(1, 1, text);
    std::vector<uint16_t> chars;
    SplitChars(text, chars);
    EXPECT_EQ(g.MeasureCell(1, 1), MeasureCellText(m, chars, g.EffectiveAttr(1, 1, false), 4)) << utf8;
  }
  g.FixedRowAttr(0)->Orientation = orVertical;
  g.FixedRowAttr(0)->WrapCount = 2;
  g.SetCells(1, 0, "AAAAA");
  EXPECT_EQ(g.MeasureCell(1, 0), (TTextExtent{3 * aw + 12, 2 * ah + 12}));
}

TEST(SqlGrid, TextWiderThanItsCellStaysInsideIt) {
  // Row numbers in the fixed column, and a long text in a narrow cell,
  // centred or right-aligned so that it would run out on both sides.
  auto paint = [](const std::string& text, uint8_t halign) {
    TSqlGrid g;
    g.SetColCount(4);
    g.SetRowCount(3);
    g.SetColWidths(0, 30);
    g.SetColWidths(1, 40);
    g.SetColWidths(2, 60);
    g.SetColWidths(3, 40);
    g.SetEnabled(true);
    g.FocusCell(3, 2, true);
    for (int r = 1; r <= 2; ++r) {
      g.SetCells(0, r, std::to_string(r));
      g.SetCells(1, r, "a");
      g.SetCells(3, r, "b");
    }
    g.SetCells(2, 1, text);
    g.CellAttr(2, 1)->HAlign = halign;
    g.CellAttr(2, 1)->BackColor = 0x0000FF;  // red
    g.resize(300, 100);
    const QImage img = Shot(g);
    return std::pair{img, g.CellRect(2, 1)};
  };
  for (uint8_t halign : {uint8_t(3), uint8_t(2)}) {
    SCOPED_TRACE(int(halign));
    const auto [blank, cell] = paint("", halign);
    const auto [shown, same] = paint(SJ("東京都千代田区丸の内一丁目") + std::string(20, 'W'), halign);
    ASSERT_EQ(cell.Left, same.Left);
    const QRect inside(cell.Left, cell.Top, cell.Right - cell.Left, cell.Bottom - cell.Top);
    int outside = 0, ink = 0;
    for (int y = 0; y < blank.height(); ++y)
      for (int x = 0; x < blank.width(); ++x) {
        if (!inside.contains(x, y))
          outside += blank.pixel(x, y) != shown.pixel(x, y);
        else
          ink += qGray(shown.pixel(x, y)) < 60;
      }
    EXPECT_EQ(outside, 0) << "pixels outside the cell changed";
    EXPECT_GT(ink, 0) << "the text shows in its cell";
  }
}

TEST(SqlGridColors, EncodedValuesMapToTheirColours) {
  const QPalette pal = QApplication::palette();
  EXPECT_EQ(ToQColor(0x0000FF, pal), QColor(255, 0, 0)) << "red in the lowest byte";
  EXPECT_EQ(ToQColor(0xFF0000, pal), QColor(0, 0, 255));
  EXPECT_FALSE(ToQColor(clNone, pal).isValid());
  EXPECT_EQ(ToQColor(clHighlight, pal), pal.color(QPalette::Active, QPalette::Highlight));
  // A system number beyond the known ones is no colour, not a known one
  // picked by its low byte.
  EXPECT_FALSE(ToQColor(0x8000010Du, pal).isValid());
  EXPECT_FALSE(ToQColor(0x80000100u, pal).isValid());
}

TEST(SqlGrid, ALongTextShowsExactlyLikeThePartOfItThatFits) {
  // Only the characters that reach into the view are drawn; what shows
  // must not change for it, whichever end of the text runs out of view.
  auto paint = [](const std::string& text, uint8_t halign) {
    TSqlGrid g;
    g.SetColCount(3);
    g.SetRowCount(3);
    g.SetColWidths(0, 30);
    g.SetColWidths(1, 150);
    g.SetColWidths(2, 40);
    g.SetEnabled(true);
    g.FocusCell(2, 2, true);  // the long text's cell is not selected
    g.ColAttr(1)->HAlign = halign;
    g.SetCells(1, 1, text);
    g.SetCells(2, 1, "x");
    g.resize(260, 90);
    return Shot(g);
  };
  std::string longText;
  for (int i = 0; i < 3000; ++i) longText += i % 3 ? "W" : SJ("あ");
  // The same beginning (ending), still wider than the view on its own.
  EXPECT_EQ(paint(longText, 1), paint(longText.substr(0, 120), 1)) << "left-aligned";
  const QImage right = paint(longText, 2);
  EXPECT_EQ(right, paint(longText.substr(longText.size() - 120), 2)) << "right-aligned";
  EXPECT_NE(right, paint(longText, 1));
  // Running out to the left, the text stops at its cell: the fixed column
  // stays blank.
  int ink = 0;
  for (int y = 26; y < 49; ++y)
    for (int x = 0; x < 30; ++x) ink += qGray(right.pixel(x, y)) < 100;
  EXPECT_EQ(ink, 0);
}

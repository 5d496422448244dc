// The cell viewer filled from a result set whose cells live in a table of
// the test's own.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <map>

#include "core/Sjis.h"
#include "core/SqlInfo.h"
#include "views/CellView.h"

namespace {

class CellViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    info.OnGetCell = [this](TSqlInfo&, int col, int row) {
      auto it = cells.find({col, row});
      return it == cells.end() ? std::string() : it->second;
    };
    info.SetColCount(2);
    info.SetColName(0, "ID");
    info.DefineColumn(0, otNumber, 22, 6, 0);
    info.SetColName(1, SJ("氏名"));
    info.DefineColumn(1, otVarchar2, 40, 0, 0);
  }
  QString Label(QLabel* label) { return label->text(); }

  TSqlInfo info;
  std::map<std::pair<int, int>, std::string> cells;
  TfrmCellView view;
};

}  // namespace

TEST_F(CellViewTest, ShowsTheCellWithItsColumnAndLength) {
  cells[{2, 3}] = SJ("ＡＢＣＤＥＦＧＨＩＪ");
  view.Fill(info, 2, 3);
  EXPECT_EQ(Label(view.lblNameValue), QString::fromUtf8("氏名"));
  EXPECT_EQ(Label(view.lblTypeNameValue), QStringLiteral("VARCHAR2"));
  EXPECT_EQ(Label(view.lblSizeValue), QStringLiteral("40"));
  EXPECT_EQ(Label(view.lblRowValue), QStringLiteral("3"));
  EXPECT_EQ(Label(view.lblColValue), QStringLiteral("2"));
  EXPECT_EQ(view.memCell->toPlainText(), QString::fromUtf8("ＡＢＣＤＥＦＧＨＩＪ"));
  EXPECT_EQ(Label(view.lblLenValue), QStringLiteral("20"));
  EXPECT_TRUE(view.memCell->isReadOnly());

  // The first result column is column 1.
  cells[{1, 1}] = "7369";
  view.Fill(info, 1, 1);
  EXPECT_EQ(Label(view.lblNameValue), QStringLiteral("ID"));
  EXPECT_EQ(Label(view.lblTypeNameValue), QStringLiteral("NUMBER"));
  EXPECT_EQ(Label(view.lblPrecisionValue), QStringLiteral("6"));
  EXPECT_EQ(Label(view.lblColValue), QStringLiteral("1"));
  EXPECT_EQ(Label(view.lblLenValue), QStringLiteral("4"));

  // An empty cell, and a column outside the result: empty texts and zeros.
  view.Fill(info, 3, 9);
  EXPECT_EQ(Label(view.lblNameValue), QString());
  EXPECT_EQ(Label(view.lblSizeValue), QStringLiteral("0"));
  EXPECT_EQ(Label(view.lblScaleValue), QStringLiteral("0"));
  EXPECT_TRUE(view.memCell->toPlainText().isEmpty());
  EXPECT_EQ(Label(view.lblLenValue), QStringLiteral("0"));

  // Line breaks show as lines.
  cells[{2, 1}] = "first\r\nsecond\r\nthird";
  view.Fill(info, 2, 1);
  EXPECT_EQ(view.memCell->document()->blockCount(), 3);
  EXPECT_EQ(view.memCell->document()->findBlockByNumber(1).text(), QStringLiteral("second"));
  EXPECT_EQ(Label(view.lblLenValue), QStringLiteral("20"));
}

TEST_F(CellViewTest, WordwrapStaysAsTheUserLeftIt) {
  EXPECT_FALSE(view.chkWordwrap->isChecked());
  EXPECT_EQ(view.memCell->lineWrapMode(), QPlainTextEdit::NoWrap);
  EXPECT_EQ(view.memCell->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  view.chkWordwrap->click();
  EXPECT_EQ(view.memCell->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_EQ(view.memCell->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  view.show();
  view.btnOk->click();
  EXPECT_FALSE(view.isVisible());
  EXPECT_EQ(view.result(), QDialog::Accepted);
  view.Fill(info, 1, 1);
  view.show();
  EXPECT_TRUE(view.chkWordwrap->isChecked());
  EXPECT_EQ(view.memCell->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_TRUE(view.btnOk->isDefault());
  view.reject();
}

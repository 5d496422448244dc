// The window as a keyboard user meets it: keys held with Alt or Ctrl, the
// menu bar opened from the keyboard, the status panels' widths and the
// design sizes.

#include <QApplication>
#include <QFontMetrics>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QTest>

#include "AppFixture.h"
#include "app/LoginDialog.h"
#include "views/SqlGrid.h"

namespace {

struct TKey {
  const char* Name;
  Qt::Key Key;
  Qt::KeyboardModifiers Mods;
};

// Keys that no command or mnemonic of the main window takes.
const TKey kStrayKeys[] = {
    {"Alt+X", Qt::Key_X, Qt::AltModifier},
    {"Alt+Shift+G", Qt::Key_G, Qt::AltModifier | Qt::ShiftModifier},
    {"Alt+Shift+Q", Qt::Key_Q, Qt::AltModifier | Qt::ShiftModifier},
    {"Ctrl+Alt+G", Qt::Key_G, Qt::ControlModifier | Qt::AltModifier},
    {"Ctrl+Alt+Q", Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier},
    {"Ctrl+Q", Qt::Key_Q, Qt::ControlModifier},
    {"Ctrl+Shift+Q", Qt::Key_Q, Qt::ControlModifier | Qt::ShiftModifier},
    {"Alt+1", Qt::Key_1, Qt::AltModifier},
    {"Alt+Space", Qt::Key_Space, Qt::AltModifier},
    {"Ctrl+Alt+Tab", Qt::Key_Tab, Qt::ControlModifier | Qt::AltModifier},
};

// Sends every stray key to control, each with the text Qt would give it.
void SendStrayKeys(QWidget* control) {
  for (const TKey& k : kStrayKeys) {
    SCOPED_TRACE(k.Name);
    QTest::keyClick(control, k.Key, k.Mods);
  }
}

class DesktopFitTest : public AppTest {
 protected:
  // A connected program with SELECT 1 in the edit area, which has the focus.
  void StartTyped() {
    ASSERT_TRUE(StartApp());
    Connect();
    Main().edtSql->setFocus();
    QTest::keyClicks(Main().edtSql, QStringLiteral("SELECT 1"));
    ASSERT_EQ(Main().edtSql->toPlainText(), QStringLiteral("SELECT 1"));
  }
  bool GridLooksEntered() {
    TCellAttr* s = Main().Grid().DefaultAttr(dkSelected);
    return Main().Grid().Cells(0, 0).empty() && s->BackColor == 0xFF0000u && s->FontColor == 0xFFFFFFu;
  }
};

TEST_F(DesktopFitTest, AltAndCtrlKeysNeverTypeIntoTheSql) {
  StartTyped();
  // No result: the grid cannot take the focus, so Alt+G does nothing at all.
  ASSERT_FALSE(Main().GridCanFocus());
  QTest::keyClick(Main().edtSql, Qt::Key_G, Qt::AltModifier);
  SendStrayKeys(Main().edtSql);
  EXPECT_EQ(Main().edtSql->toPlainText(), QStringLiteral("SELECT 1"));
  EXPECT_EQ(QApplication::focusWidget(), Main().edtSql);

  // With a result the keys still type nothing, and Alt+G goes to the grid.
  Actions().Execute(Actions().actStart);
  ASSERT_TRUE(Main().GridCanFocus());
  Main().edtSql->setFocus();
  SendStrayKeys(Main().edtSql);
  EXPECT_EQ(Main().edtSql->toPlainText(), QStringLiteral("SELECT 1"));
  QTest::keyClick(Main().edtSql, Qt::Key_G, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), &Main().Grid());
  EXPECT_EQ(Main().edtSql->toPlainText(), QStringLiteral("SELECT 1"));

  // Mnemonics and shortcuts keep working: Alt+T focuses the edit area,
  // Ctrl+A selects its text, and plain keys still type.
  QTest::keyClick(&Main().Grid(), Qt::Key_T, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), Main().edtSql);
  QTest::keyClick(Main().edtSql, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(Main().edtSql->textCursor().selectedText(), QStringLiteral("SELECT 1"));
  QTest::keyClick(Main().edtSql, Qt::Key_End);
  QTest::keyClicks(Main().edtSql, QStringLiteral("0"));
  EXPECT_EQ(Main().edtSql->toPlainText(), QStringLiteral("SELECT 10"));
}

TEST_F(DesktopFitTest, AltKeysNeitherSearchTheFavouritesNorTypeIntoADialog) {
  StartTyped();
  for (const char* text : {"SELECT 1", "QUIT", "GO"}) Main().lstFreq->addItem(QString::fromLatin1(text));
  Main().lstFreq->setFocus();
  Main().lstFreq->setCurrentRow(0);
  SendStrayKeys(Main().lstFreq);
  QTest::keyClick(Main().lstFreq, Qt::Key_G, Qt::AltModifier);
  EXPECT_EQ(Main().lstFreq->currentRow(), 0);
  // Plain typing still searches the list.
  QTest::keyClick(Main().lstFreq, Qt::Key_Q);
  EXPECT_EQ(Main().lstFreq->currentRow(), 1);

  TfrmLogin& login = App().Login();
  login.show();
  login.edtHost->setText(QStringLiteral("db"));
  login.edtHost->setFocus();
  SendStrayKeys(login.edtHost);
  QTest::keyClick(login.edtHost, Qt::Key_G, Qt::AltModifier);
  EXPECT_EQ(login.edtHost->text(), QStringLiteral("db"));
  QTest::keyClicks(login.edtHost, QStringLiteral("x"));
  EXPECT_EQ(login.edtHost->text(), QStringLiteral("dbx"));
  login.hide();
}

TEST_F(DesktopFitTest, TheMenuBarTakingTheKeyboardIsNoExitFromTheGrid) {
  StartTyped();
  Actions().Execute(Actions().actStart);
  QTest::keyClick(Main().edtSql, Qt::Key_G, Qt::AltModifier);
  ASSERT_EQ(QApplication::focusWidget(), &Main().Grid());
  ASSERT_TRUE(GridLooksEntered());

  // Alt alone hands the keyboard to the menu bar; Escape hands it back.
  QTest::keyPress(&Main().Grid(), Qt::Key_Alt, Qt::AltModifier);
  QTest::keyRelease(&Main().Grid(), Qt::Key_Alt);
  QMenuBar* bar = Main().menuBar();
  if (QApplication::focusWidget() != bar) bar->setFocus(Qt::MenuBarFocusReason);  // styles without Alt navigation
  EXPECT_TRUE(GridLooksEntered());
  QTest::keyClick(bar, Qt::Key_Escape);
  Main().Grid().setFocus(Qt::MenuBarFocusReason);
  EXPECT_TRUE(GridLooksEntered());

  // A menu opened by its mnemonic, then closed.
  QTest::keyClick(&Main().Grid(), Qt::Key_V, Qt::AltModifier);
  EXPECT_TRUE(GridLooksEntered());
  if (QWidget* popup = QApplication::activePopupWidget()) QTest::keyClick(popup, Qt::Key_Escape);
  if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  EXPECT_TRUE(GridLooksEntered());

  // When the focus goes on from the menu bar to another control, the grid
  // has been left after all.
  bar->setFocus(Qt::MenuBarFocusReason);
  Main().edtSql->setFocus(Qt::OtherFocusReason);
  EXPECT_EQ(Main().Grid().Cells(0, 0), "Alt + G");
  EXPECT_FALSE(GridLooksEntered());
}

TEST_F(DesktopFitTest, StatusPanelsShowTheirWholeText) {
  ASSERT_TRUE(StartApp());
  TStatusBar& bar = Main().StatusBar();
  const QFontMetrics metrics(bar.font());
  // Panel 2 draws its text centred: it fits when the text is no wider than
  // the panel less a pixel at either edge.
  struct TCase {
    int RowMax, RowCount;
  };
  for (const TCase& c : {TCase{0, 0}, TCase{99999, 99999}, TCase{537824, 537824}, TCase{1234567, 1234567}}) {
    const QString text = QString::number(c.RowMax) + QLatin1Char('/') + QString::number(c.RowCount) + Q8("行");
    SCOPED_TRACE(text.toStdString());
    Main().SqlInfo().SetRowCount(c.RowCount);
    Main().SqlInfo().SetRowMax(c.RowMax);
    const QRect panel = bar.PanelRect(2);
    EXPECT_GE(panel.width(), 85);
    EXPECT_LE(metrics.horizontalAdvance(text) + 2, panel.width());
    // The band still covers the whole panel once every row is in.
    if (c.RowCount > 0) {
      QImage image = bar.grab().toImage();
      EXPECT_EQ(image.pixel(panel.left(), panel.top()), image.pixel(panel.right(), panel.top()));
    }
    // Every panel is beside the next.
    for (int i = 1; i < bar.PanelCount(); ++i) EXPECT_EQ(bar.PanelRect(i).left(), bar.PanelRect(i - 1).right() + 1);
  }
  Main().SqlInfo().Clear();
  EXPECT_EQ(bar.PanelRect(2).width(), 85);

  // At the design size all nine panels fit; a wider window gives the rest to
  // the message panel.
  EXPECT_LE(bar.PanelRect(8).right(), 632);
  const QString message = Q8("データベースへ接続しました");
  Main().resize(800, Main().height());
  QCoreApplication::processEvents();
  EXPECT_EQ(bar.PanelRect(8).right(), bar.width() - 1);
  EXPECT_LE(metrics.horizontalAdvance(message) + 4, bar.PanelRect(0).width());
}

TEST_F(DesktopFitTest, StartsAtTheDesignSizes) {
  ASSERT_TRUE(StartApp());
  EXPECT_EQ(Main().width(), 632);
  EXPECT_EQ(Main().height() - Main().menuBar()->height(), 434);
  EXPECT_EQ(Main().Grid().geometry(), QRect(4, 4, 623, 188));
  // The grid stays anchored to every side of its panel.
  Main().resize(700, 500 + Main().menuBar()->height());
  QCoreApplication::processEvents();
  EXPECT_EQ(Main().pnlGrid->width() - Main().Grid().geometry().right(), 6);
  EXPECT_EQ(Main().Grid().geometry().topLeft(), QPoint(4, 4));
}

}  // namespace

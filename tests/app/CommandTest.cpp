// The command table, its enable rules in every state, the key preview and
// the commands whose effects live in the command module.

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStatusTipEvent>
#include <QEventLoop>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <set>

#include "AppFixture.h"
#include "app/AboutDialog.h"
#include "core/Sjis.h"
#include "views/SqlGrid.h"

namespace {

using Names = std::vector<std::string>;

}  // namespace

TEST_F(AppTest, CommandTableHasOneCommandPerShortcut) {
  ASSERT_TRUE(StartApp());
  std::set<QString> seen;
  int withShortcut = 0;
  for (const auto& c : Actions().Commands()) {
    SCOPED_TRACE(c.Action->objectName().toStdString());
    EXPECT_TRUE(c.Caption.contains(QLatin1Char('&')));
    EXPECT_TRUE(c.Hint.contains(QLatin1Char('|')));
    for (const QKeySequence& key : c.MoreShortCuts) EXPECT_TRUE(seen.insert(key.toString()).second);
    if (c.ShortCut.isEmpty()) continue;
    ++withShortcut;
    EXPECT_TRUE(seen.insert(c.ShortCut.toString()).second);
  }
  EXPECT_EQ(Actions().Commands().size(), 46u);
  EXPECT_EQ(withShortcut, 35);
  // Every entry of a menu has a mnemonic letter of its own there.
  for (QMenu* menu : Main().findChildren<QMenu*>()) {
    std::set<QChar> letters;
    for (QAction* entry : menu->actions()) {
      if (entry->isSeparator()) continue;
      SCOPED_TRACE(menu->objectName().toStdString() + " " + entry->objectName().toStdString());
      const QString text = entry->text();
      const qsizetype amp = text.indexOf(QLatin1Char('&'));
      ASSERT_GE(amp, 0);
      EXPECT_TRUE(letters.insert(text[amp + 1].toUpper()).second);
    }
  }
  EXPECT_EQ(Actions().actDelete->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Delete));
  EXPECT_EQ(Actions().actFreqDel->shortcut(), QKeySequence(Qt::ALT | Qt::Key_Delete));
  // Menus carry the commands in the window's order.
  QMenu* file = Main().menuBar()->findChild<QMenu*>(QStringLiteral("mnuFile"));
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(file->actions().size(), 12);
  EXPECT_EQ(file->actions().first(), Actions().actConnect);
  EXPECT_EQ(file->actions().last(), Actions().actExit);
  EXPECT_EQ(Main().popGrid->actions().first(), Actions().actViewCell);
}

TEST_F(AppTest, EnableStatesFollowTheFlagsFocusAndResult) {
  MakeSeriesTable(Database(), 30);
  ASSERT_TRUE(StartApp());
  EXPECT_EQ(EnabledCommands(), (Names{"actConnect", "actExit", "actOption", "actOpenHelp", "actAbout"}));

  Connect();
  ASSERT_TRUE(Main().IsConnected());
  ASSERT_TRUE(Main().SqlHasFocus());
  EXPECT_EQ(EnabledCommands(), (Names{"actDisConnect", "actNew", "actOpen", "actImport", "actExport", "actExit",
                                      "actFind", "actFindNext", "actFindPrev", "actReplace", "actViewGrid",
                                      "actTableList", "actAutoCommit", "actLog", "actDiff", "actOption", "actOpenHelp", "actAbout"}));

  // Text, a selection and a clipboard in the focused edit area.
  Main().edtSql->setPlainText(QStringLiteral("SELECT * FROM T"));
  Main().edtSql->selectAll();
  platform.Clipboard = QStringLiteral("x");
  EXPECT_EQ(EnabledCommands(),
            (Names{"actDisConnect", "actNew", "actOpen", "actSave", "actSaveAs", "actImport", "actExport", "actExit",
                   "actCut", "actCopy", "actPaste", "actDelete", "actSelectAll", "actFind", "actFindNext", "actFindPrev",
                   "actReplace", "actViewGrid", "actTableList", "actStart",
                   "actRunCaret", "actRunScript", "actAutoCommit", "actFreqAdd", "actLog", "actDiff", "actOption", "actOpenHelp", "actAbout"}));

  // Rules are evaluated again whenever the program goes idle.
  Main().edtSql->clear();
  Actions().UpdateActions();
  ASSERT_FALSE(Actions().actStart->isEnabled());
  Main().edtSql->setPlainText(QStringLiteral("SELECT * FROM T"));
  {
    QEventLoop idle;
    QTimer::singleShot(20, &idle, &QEventLoop::quit);
    idle.exec();
  }
  EXPECT_TRUE(Actions().actStart->isEnabled());

  // While a query runs only the stop command and the view toggle stay.
  Names whileRunning;
  platform.OnProcessMessages = [&] {
    if (Main().IsRunning() && whileRunning.empty()) whileRunning = EnabledCommands();
  };
  Actions().Execute(Actions().actStart);
  platform.OnProcessMessages = nullptr;
  EXPECT_EQ(whileRunning, (Names{"actViewGrid", "actStop"}));

  // After a result with columns and rows the grid commands join in; the
  // focus is on the grid, so the edit-area commands are gone.
  ASSERT_EQ(Main().Col, 1);
  ASSERT_EQ(Main().Row, 1);
  EXPECT_EQ(EnabledCommands(),
            (Names{"actDisConnect", "actNew", "actOpen", "actSave", "actSaveAs", "actImport", "actExport", "actExit",
                   "actFixedRowCopy", "actCellCopy", "actWhereCopy", "actTableCopy", "actInCopy", "actFind", "actFindNext",
                   "actFindPrev", "actReplace", "actViewGrid", "actViewCell", "actRecordView", "actTableList", "actStart",
                   "actRunCaret", "actRunScript", "actAutoCommit", "actFreqAdd", "actLog", "actDiff",
                   "actSort", "actOption", "actOpenHelp", "actAbout"}));

  // While a file or connection operation is under way nothing is offered.
  App().BeginBusy(TCursor::HourGlass);
  EXPECT_EQ(EnabledCommands(), Names{});
  App().EndBusy();

  // A statement without columns: no sort, no cell view, no copies.
  Run(QStringLiteral("UPDATE T SET V = 0"));
  EXPECT_EQ(Main().SqlInfo().ColCount(), 0);
  Actions().UpdateActions();
  for (QAction* a : {Actions().actSort, Actions().actViewCell, Actions().actFixedRowCopy, Actions().actCellCopy}) {
    SCOPED_TRACE(a->objectName().toStdString());
    EXPECT_FALSE(a->isEnabled());
  }
}

TEST_F(AppTest, ControlsFollowTheirCommands) {
  ASSERT_TRUE(StartApp());
  auto* connect = Main().findChild<QToolButton*>(QStringLiteral("btnConnect"));
  auto* disconnect = Main().findChild<QToolButton*>(QStringLiteral("btnDisConnect"));
  ASSERT_TRUE(connect && disconnect);
  EXPECT_TRUE(connect->isEnabled());
  EXPECT_FALSE(disconnect->isEnabled());
  EXPECT_EQ(connect->toolTip(), Q8("接続"));
  EXPECT_EQ(connect->text(), Q8("接続"));
  Connect();
  Actions().UpdateActions();
  EXPECT_FALSE(connect->isEnabled());
  EXPECT_TRUE(disconnect->isEnabled());
  // A click goes through the command.
  disconnect->click();
  EXPECT_FALSE(Main().IsConnected());
  EXPECT_EQ(Main().StatusMsg(), SJ("接続を切断しました"));
  // The alignment buttons exist but are not offered.
  for (const char* name : {"btnVaTop", "btnVaCenter", "btnVaBottom", "btnHaLeft", "btnHaCenter", "btnHaRight"}) {
    auto* b = Main().findChild<QPushButton*>(QString::fromLatin1(name));
    ASSERT_NE(b, nullptr) << name;
    EXPECT_FALSE(b->isVisibleTo(&Main()) || b->isEnabled()) << name;
  }
}

TEST_F(AppTest, LongHintGoesToTheFirstPanelWithoutChangingTheMessage) {
  ASSERT_TRUE(StartApp());
  Main().SetStatusMsg(SJ("ＳＱＬ処理終了"));
  auto* connect = Main().findChild<QToolButton*>(QStringLiteral("btnConnect"));
  QStatusTipEvent tip(connect->statusTip());
  QCoreApplication::sendEvent(connect, &tip);
  EXPECT_EQ(Panel(0), Q8("データベースへ接続します"));
  EXPECT_EQ(Main().StatusMsg(), SJ("ＳＱＬ処理終了"));
  QStatusTipEvent leave{QString()};
  QCoreApplication::sendEvent(connect, &leave);
  EXPECT_EQ(Panel(0), QString());
  Main().SetStatusMsg(SJ("接続を切断しました"));
  EXPECT_EQ(Panel(0), Q8("接続を切断しました"));
}

TEST_F(AppTest, ShortcutsRunEnabledCommandsAndOtherwiseReachTheControl) {
  MakeSeriesTable(Database(), 3);
  ASSERT_TRUE(StartApp());
  Connect();
  QPlainTextEdit* edit = Main().edtSql;
  // F5 with an empty edit area does nothing.
  QTest::keyClick(edit, Qt::Key_F5);
  EXPECT_EQ(Main().SqlInfo().ColCount(), 0);

  edit->setPlainText(QStringLiteral("SELECT N FROM T"));
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(edit->textCursor().selectedText(), QStringLiteral("SELECT N FROM T"));
  QTest::keyClick(edit, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(platform.Clipboard, QStringLiteral("SELECT N FROM T"));
  QTest::keyClick(edit, Qt::Key_F5);
  EXPECT_EQ(Main().SqlInfo().RowMax(), 3);

  // Ctrl+Delete with a selection is the delete command: the selection goes.
  edit->setFocus();
  edit->setPlainText(QStringLiteral("abc def ghi"));
  QTextCursor cursor = edit->textCursor();
  cursor.setPosition(4);
  cursor.setPosition(7, QTextCursor::KeepAnchor);
  edit->setTextCursor(cursor);
  QTest::keyClick(edit, Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_EQ(edit->toPlainText(), QStringLiteral("abc  ghi"));
  EXPECT_EQ(platform.Clipboard, QStringLiteral("SELECT N FROM T"));
  // Without a selection the command is disabled and the edit area gets the
  // key as its own (it deletes to the end of the word).
  cursor.setPosition(0);
  edit->setTextCursor(cursor);
  QTest::keyClick(edit, Qt::Key_Delete, Qt::ControlModifier);
  EXPECT_NE(edit->toPlainText(), QStringLiteral("abc  ghi"));
}

TEST_F(AppTest, EditCommandsWorkOnlyInTheFocusedEditArea) {
  ASSERT_TRUE(StartApp());
  Connect();
  QPlainTextEdit* edit = Main().edtSql;
  edit->setPlainText(QStringLiteral("SELECT 1"));
  edit->selectAll();
  EXPECT_FALSE(Actions().Update(Actions().actUndo));
  Actions().Execute(Actions().actCut);
  EXPECT_EQ(platform.Clipboard, QStringLiteral("SELECT 1"));
  EXPECT_TRUE(edit->toPlainText().isEmpty());
  Actions().Execute(Actions().actUndo);
  EXPECT_EQ(edit->toPlainText(), QStringLiteral("SELECT 1"));
  edit->moveCursor(QTextCursor::End);
  Actions().Execute(Actions().actPaste);
  EXPECT_EQ(edit->toPlainText(), QStringLiteral("SELECT 1SELECT 1"));
  edit->selectAll();
  Actions().Execute(Actions().actDelete);
  EXPECT_TRUE(edit->toPlainText().isEmpty());
  EXPECT_EQ(platform.Clipboard, QStringLiteral("SELECT 1"));

  // With the favourites list focused they are disabled and do nothing.
  edit->setPlainText(QStringLiteral("SELECT 2"));
  edit->selectAll();
  Main().lstFreq->setFocus();
  ASSERT_FALSE(Main().SqlHasFocus());
  for (QAction* a : {Actions().actCut, Actions().actCopy, Actions().actPaste, Actions().actDelete,
                     Actions().actSelectAll, Actions().actUndo}) {
    SCOPED_TRACE(a->objectName().toStdString());
    EXPECT_FALSE(Actions().Update(a));
    Actions().Execute(a);
  }
  EXPECT_EQ(edit->toPlainText(), QStringLiteral("SELECT 2"));
  EXPECT_EQ(platform.Clipboard, QStringLiteral("SELECT 1"));

  // Their keys reach the list, which leaves the desktop's clipboard alone.
  Main().lstFreq->addItem(QStringLiteral("SELECT 3"));
  Main().lstFreq->setCurrentRow(0);
  QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
  for (Qt::Key key : {Qt::Key_C, Qt::Key_X, Qt::Key_V, Qt::Key_A, Qt::Key_Delete, Qt::Key_Insert})
    QTest::keyClick(Main().lstFreq, key, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
  EXPECT_EQ(Main().lstFreq->count(), 1);
  EXPECT_EQ(edit->toPlainText(), QStringLiteral("SELECT 2"));
}

TEST_F(AppTest, FocusedLabelIsBold) {
  ASSERT_TRUE(StartApp());
  Connect();
  QCoreApplication::processEvents();
  Main().edtSql->setFocus();
  QCoreApplication::processEvents();
  EXPECT_TRUE(Main().lblSql->font().bold());
  EXPECT_FALSE(Main().lblFreq->font().bold());
  Main().lstFreq->setFocus();
  QCoreApplication::processEvents();
  EXPECT_FALSE(Main().lblSql->font().bold());
  EXPECT_TRUE(Main().lblFreq->font().bold());
}

TEST_F(AppTest, ViewGridTwiceBringsTheWindowBack) {
  MakeSeriesTable(Database(), 2);
  ASSERT_TRUE(StartApp());
  EXPECT_FALSE(Actions().Update(Actions().actViewGrid));
  Connect();
  Run(QStringLiteral("SELECT * FROM T"));
  Main().edtSql->setFocus();

  Actions().Execute(Actions().actViewGrid);
  EXPECT_TRUE(Actions().actViewGrid->isChecked());
  EXPECT_FALSE(Main().pnlToolbar->isVisible());
  EXPECT_FALSE(Main().pnlOperation->isVisible());
  EXPECT_FALSE(Main().sptHorizon->handle(1)->isEnabled());
  EXPECT_EQ(Main().focusWidget(), &Main().Grid());
  QCoreApplication::processEvents();
  EXPECT_GT(Main().Grid().height(), 300);

  Actions().Execute(Actions().actViewGrid);
  QCoreApplication::processEvents();
  EXPECT_FALSE(Actions().actViewGrid->isChecked());
  EXPECT_TRUE(Main().pnlToolbar->isVisible());
  EXPECT_TRUE(Main().pnlOperation->isVisible());
  EXPECT_TRUE(Main().pnlSql->isVisible());
  EXPECT_TRUE(Main().pnlFreq->isVisible());
  EXPECT_TRUE(Main().sptHorizon->handle(1)->isEnabled());
  EXPECT_TRUE(Main().sptHorizon->handle(1)->isVisible());

  // The menu entry toggles through the command as well.
  Actions().actViewGrid->trigger();
  EXPECT_TRUE(Actions().actViewGrid->isChecked());
  EXPECT_FALSE(Main().pnlOperation->isVisible());
}

TEST_F(AppTest, AltGFocusesTheGridOnlyWhenItCanTakeTheFocus) {
  MakeSeriesTable(Database(), 2);
  ASSERT_TRUE(StartApp());
  Connect();
  QPlainTextEdit* edit = Main().edtSql;
  edit->setFocus();
  // No result yet: the grid is disabled and the key does nothing special.
  QTest::keyClick(edit, Qt::Key_G, Qt::AltModifier);
  EXPECT_EQ(Main().focusWidget(), edit);

  Run(QStringLiteral("SELECT * FROM T"));
  edit->setFocus();
  QTest::keyClick(edit, Qt::Key_G, Qt::AltModifier | Qt::ControlModifier);
  QTest::keyClick(edit, Qt::Key_G, Qt::AltModifier | Qt::ShiftModifier);
  EXPECT_EQ(Main().focusWidget(), edit);
  // Alt+G itself is taken: nothing reaches the edit area.
  const QString before = edit->toPlainText();
  QTest::keyClick(edit, Qt::Key_G, Qt::AltModifier);
  EXPECT_EQ(Main().focusWidget(), &Main().Grid());
  EXPECT_EQ(edit->toPlainText(), before);
}

TEST_F(AppTest, AboutAndHelp) {
  ASSERT_TRUE(StartApp());
  QStringList texts;
  Main().move(100, 80);
  Main().resize(700, 500);
  platform.ModalScript.push_back([&](QDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), Q8("バージョン情報"));
    // Centred with its own size already at the first showing.
    const QRect main = Main().frameGeometry();
    const QSize size = dialog.frameGeometry().size();
    EXPECT_EQ(size, dialog.sizeHint());
    EXPECT_EQ(dialog.x(), main.left() + main.width() / 2 - size.width() / 2);
    EXPECT_EQ(dialog.y(), main.top() + main.height() / 2 - size.height() / 2);
    for (QLabel* label : dialog.findChildren<QLabel*>()) texts << label->text();
    static_cast<TfrmAbout&>(dialog).btnOk->click();
    return dialog.result();
  });
  Actions().Execute(Actions().actAbout);
  EXPECT_TRUE(texts.contains(QStringLiteral("Quorrel")));
  EXPECT_TRUE(texts.contains(QStringLiteral("Version 1.00")));
  EXPECT_EQ(platform.ModalLog, (std::vector<QString>{QStringLiteral("frmAbout")}));

  Actions().Execute(Actions().actOpenHelp);
  ASSERT_EQ(platform.HelpShown.size(), 1u);
  EXPECT_EQ(platform.HelpShown[0], QString::fromStdString(dir.File("quorrel.html")));
}

TEST_F(AppTest, ReportErrorSetsTheMessageThenShowsTheBox) {
  ASSERT_TRUE(StartApp());
  Actions().ReportError(Q8("その他エラー"));
  EXPECT_EQ(Main().StatusMsg(), SJ("エラーが発生しました"));
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_EQ(platform.Messages[0].Text, Q8("その他エラー"));
}

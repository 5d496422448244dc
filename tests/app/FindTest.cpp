// Find and replace through the commands, their keys and the dialog: in the
// SQL edit, and among the result's cells when the grid has the focus.

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <set>

#include "AppFixture.h"
#include "app/FindDialog.h"
#include "core/Sjis.h"
#include "views/SqlGrid.h"

namespace {

// The letter after "&" in a caption, upper-cased; 0 without one.
QChar Mnemonic(const QString& caption) {
  const qsizetype amp = caption.indexOf(QLatin1Char('&'));
  return amp >= 0 && amp + 1 < caption.size() ? caption[amp + 1].toUpper() : QChar();
}

class FindTest : public AppTest {
 protected:
  void Open(QAction* command) {
    Actions().Execute(command);
    find = Main().findChild<TfrmFind*>();
    ASSERT_NE(find, nullptr);
    ASSERT_TRUE(find->isVisible());
  }
  // Gives the main window back its focus on `widget`, so its key preview
  // sees the keys sent there.
  void FocusMain(QWidget* widget) {
    Main().activateWindow();
    widget->setFocus(Qt::MouseFocusReason);
    QCoreApplication::processEvents();
  }
  // A connected program with sql in its focused edit; nullptr when it did
  // not start.
  QPlainTextEdit* ConnectWith(const QString& sql) {
    if (!StartApp()) return nullptr;
    Connect();
    QPlainTextEdit* edit = Main().edtSql;
    edit->setPlainText(sql);
    FocusMain(edit);
    return edit;
  }
  int SelectionStart() { return Main().edtSql->textCursor().selectionStart(); }
  std::string Status() { return SjisToUtf8(Main().StatusMsg()); }

  TfrmFind* find = nullptr;
};

}  // namespace

TEST_F(FindTest, NextAndPreviousFollowCaseWholeWordAndWrap) {
  QPlainTextEdit* edit = ConnectWith(Q8("select name, user_name\nfrom 社員 where NAME = '社員名'\n-- Name"));
  ASSERT_NE(edit, nullptr);
  Open(Actions().actFind);
  EXPECT_FALSE(find->TargetIsGrid());

  const struct {
    const char* Pattern;
    bool MatchCase, WholeWord;
    std::vector<int> Starts;
  } cases[] = {
      {"name", false, false, {7, 18, 37, 53}}, {"name", true, false, {7, 18}}, {"name", false, true, {7, 37, 53}},
      {"NAME", true, true, {37}},             {"社員", false, false, {28, 45}}, {"社員", false, true, {28}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.Pattern) + (c.MatchCase ? " case" : "") + (c.WholeWord ? " word" : ""));
    find->edtFind->setText(Q8(c.Pattern));
    find->chkCase->setChecked(c.MatchCase);
    find->chkWord->setChecked(c.WholeWord);
    edit->moveCursor(QTextCursor::Start);
    const int n = static_cast<int>(c.Starts.size());
    // Forward through every match, then round to the first.
    for (int i = 0; i <= n; ++i) {
      Actions().Execute(Actions().actFindNext);
      EXPECT_EQ(SelectionStart(), c.Starts[i % n]) << i;
      EXPECT_EQ(edit->textCursor().selectedText(), edit->toPlainText().mid(c.Starts[i % n], find->edtFind->text().size()));
      EXPECT_EQ(Status(), i == n ? "先頭に戻って検索しました" : "") << i;
    }
    // Backward from the first: round to the last, then down again.
    for (int i = n - 1; i >= 0; --i) {
      find->btnFindPrev->click();
      EXPECT_EQ(SelectionStart(), c.Starts[i]) << i;
      EXPECT_EQ(Status(), i == n - 1 ? "末尾に戻って検索しました" : "") << i;
    }
  }

  // Without wrapping the last match stays selected and nothing is found.
  find->chkWrap->setChecked(false);
  find->edtFind->setText(QStringLiteral("name"));
  find->chkCase->setChecked(false);
  find->chkWord->setChecked(false);
  edit->moveCursor(QTextCursor::End);
  Actions().Execute(Actions().actFindPrev);
  EXPECT_EQ(SelectionStart(), 53);
  Actions().Execute(Actions().actFindNext);
  EXPECT_EQ(SelectionStart(), 53);
  EXPECT_EQ(Status(), "見つかりません");
  find->edtFind->setText(Q8("存在しない"));
  Actions().Execute(Actions().actFindPrev);
  EXPECT_EQ(Status(), "見つかりません");
}

TEST_F(FindTest, ReplaceAllOverJapaneseIsOneUndoStep) {
  const QString original = Q8("SELECT 社員名, 社員番号 FROM 社員\nWHERE 社員名 LIKE '%社員%'");
  QPlainTextEdit* edit = ConnectWith(original);
  ASSERT_NE(edit, nullptr);
  Open(Actions().actReplace);
  find->edtFind->setText(Q8("社員"));
  find->edtReplace->setText(Q8("従業員"));

  const struct {
    bool WholeWord;
    int Count;
    const char* After;
  } cases[] = {
      {true, 2, "SELECT 社員名, 社員番号 FROM 従業員\nWHERE 社員名 LIKE '%従業員%'"},
      {false, 5, "SELECT 従業員名, 従業員番号 FROM 従業員\nWHERE 従業員名 LIKE '%従業員%'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Count);
    find->chkWord->setChecked(c.WholeWord);
    find->btnReplaceAll->click();
    EXPECT_EQ(edit->toPlainText(), Q8(c.After));
    EXPECT_EQ(Status(), std::to_string(c.Count) + "件置換しました");
    FocusMain(edit);
    Actions().Execute(Actions().actUndo);
    EXPECT_EQ(edit->toPlainText(), original);
    EXPECT_FALSE(edit->document()->isUndoAvailable());
  }

  // Replace: the first press finds, each further one replaces and finds on.
  find->chkWord->setChecked(false);
  edit->moveCursor(QTextCursor::Start);
  find->btnReplace->click();
  EXPECT_EQ(edit->toPlainText(), original);
  EXPECT_EQ(SelectionStart(), 7);
  find->btnReplace->click();
  EXPECT_TRUE(edit->toPlainText().startsWith(Q8("SELECT 従業員名, 社員番号")));
  EXPECT_EQ(SelectionStart(), 13);
  find->edtFind->setText(Q8("無い"));
  find->btnReplaceAll->click();
  EXPECT_EQ(Status(), "見つかりません");
}

TEST_F(FindTest, GridFocusedFindsCellsAndScrollsToThem) {
  ExecSqlite(Database(),
             "CREATE TABLE E (ID INTEGER, NAME TEXT, DEPT TEXT);"
             "INSERT INTO E VALUES (1, '山田', '営業'), (2, '佐藤', '開発'), (3, '田中', '営業部'), (4, 'SMITH', 'sales');"
             "WITH RECURSIVE s(n) AS (SELECT 5 UNION ALL SELECT n + 1 FROM s WHERE n < 300)"
             " INSERT INTO E SELECT n, 'name' || n, '総務' FROM s;");
  ASSERT_TRUE(StartApp());
  Connect();
  Run(QStringLiteral("SELECT * FROM E"));
  TSqlGrid& grid = Main().Grid();
  ASSERT_EQ(Main().focusWidget(), &grid);
  // The key reaches the command through the window's key preview.
  QTest::keyClick(&grid, Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier);
  find = Main().findChild<TfrmFind*>();
  ASSERT_TRUE(find && find->isVisible());
  EXPECT_TRUE(find->TargetIsGrid());
  EXPECT_FALSE(find->btnReplaceAll->isEnabled());

  const struct {
    const char* Pattern;
    bool WholeWord, Forward;
    int Col, Row;  // 0: not found, the current cell stays
    const char* Message;
  } steps[] = {
      {"営業", false, true, 3, 1, ""},         {"営業", false, true, 3, 3, ""},
      {"営業", false, true, 3, 1, "先頭に戻って検索しました"}, {"営業", true, true, 3, 1, "先頭に戻って検索しました"},
      {"smith", false, true, 2, 4, ""},       {"name280", false, true, 2, 280, ""},
      {"佐藤", false, false, 2, 2, ""},        {"佐藤", false, false, 2, 2, "末尾に戻って検索しました"},
      {"存在しない", false, true, 0, 0, "見つかりません"},
  };
  for (const auto& s : steps) {
    SCOPED_TRACE(std::string(s.Pattern) + " to " + std::to_string(s.Col) + "," + std::to_string(s.Row));
    const int col = grid.Col(), row = grid.Row();
    find->edtFind->setText(Q8(s.Pattern));
    find->chkWord->setChecked(s.WholeWord);
    // F3 and Shift+F3 typed into the dialog run the commands too.
    QTest::keyClick(find->edtFind, Qt::Key_F3, s.Forward ? Qt::NoModifier : Qt::ShiftModifier);
    EXPECT_EQ(grid.Col(), s.Col ? s.Col : col);
    EXPECT_EQ(grid.Row(), s.Row ? s.Row : row);
    EXPECT_EQ(Main().Col, grid.Col());
    EXPECT_EQ(Main().Row, grid.Row());
    EXPECT_EQ(Status(), s.Message);
    // A far row is scrolled into view.
    if (s.Row == 280) {
      EXPECT_GT(grid.TopRow(), 200);
    }
  }

  // Back in the edit, the same key searches the SQL.
  find->edtFind->setText(Q8("佐藤"));
  Main().edtSql->setPlainText(Q8("SELECT '佐藤' FROM E"));
  FocusMain(Main().edtSql);
  EXPECT_FALSE(find->TargetIsGrid());
  // Even after the dialog's choice, a key in the window searches its focus.
  find->rdoGrid->setChecked(true);
  QTest::keyClick(Main().edtSql, Qt::Key_F3);
  EXPECT_FALSE(find->TargetIsGrid());
  EXPECT_EQ(SelectionStart(), 8);
  EXPECT_EQ(grid.Row(), 2);
}

TEST_F(FindTest, KeysOpenAndCloseTheDialogAndReachEveryControl) {
  QPlainTextEdit* edit = ConnectWith(QStringLiteral("a b a"));
  ASSERT_NE(edit, nullptr);
  // F3 before anything was looked for opens the dialog.
  QTest::keyClick(edit, Qt::Key_F3);
  find = Main().findChild<TfrmFind*>();
  ASSERT_TRUE(find && find->isVisible());
  QTest::keyClick(find->edtFind, Qt::Key_Escape);
  EXPECT_FALSE(find->isVisible());

  // A selection of one line becomes the find text.
  edit->moveCursor(QTextCursor::Start);
  edit->moveCursor(QTextCursor::Right, QTextCursor::KeepAnchor);
  FocusMain(edit);
  QTest::keyClick(edit, Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_TRUE(find->isVisible());
  EXPECT_EQ(find->edtFind->text(), QStringLiteral("a"));
  QTest::keyClick(find, Qt::Key_Escape);
  FocusMain(edit);
  QTest::keyClick(edit, Qt::Key_F3);
  EXPECT_EQ(SelectionStart(), 4);
  QTest::keyClick(edit, Qt::Key_F3, Qt::ShiftModifier);
  EXPECT_EQ(SelectionStart(), 0);
  EXPECT_EQ(edit->toPlainText(), QStringLiteral("a b a"));

  // The dialog's controls, in Tab order, each with a mnemonic of its own.
  const std::vector<QWidget*> order = {find->edtFind,  find->edtReplace,  find->chkCase,     find->chkWord,
                                       find->chkWrap,  find->rdoSql,      find->rdoGrid,     find->btnFindNext,
                                       find->btnFindPrev, find->btnReplace, find->btnReplaceAll, find->btnClose};
  QWidget* w = order.front();
  for (size_t i = 1; i < order.size(); ++i) {
    do w = w->nextInFocusChain();
    while (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(find));
    EXPECT_EQ(w, order[i]) << i;
  }
  std::set<QChar> letters;
  for (QLabel* label : find->findChildren<QLabel*>()) {
    if (!label->buddy()) continue;
    EXPECT_TRUE(letters.insert(Mnemonic(label->text())).second) << label->text().toStdString();
  }
  for (QAbstractButton* b : find->findChildren<QAbstractButton*>())
    EXPECT_TRUE(letters.insert(Mnemonic(b->text())).second) << b->text().toStdString();
  EXPECT_EQ(letters.size(), 12u);
  EXPECT_EQ(letters.count(QChar()), 0u);
  // Every text is shown whole in the Japanese font.
  for (QWidget* w : find->findChildren<QWidget*>()) {
    if (!qobject_cast<QLabel*>(w) && !qobject_cast<QAbstractButton*>(w)) continue;
    EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
  }
  // The buttons follow the commands: all offered while connected and idle.
  for (QPushButton* b : {find->btnFindNext, find->btnFindPrev, find->btnReplace, find->btnReplaceAll})
    EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();

  // The commands are entries of the edit menu.
  QMenu* menu = Main().menuBar()->findChild<QMenu*>(QStringLiteral("mnuEdit"));
  ASSERT_NE(menu, nullptr);
  for (QAction* a : {Actions().actFind, Actions().actFindNext, Actions().actFindPrev, Actions().actReplace})
    EXPECT_TRUE(menu->actions().contains(a)) << a->objectName().toStdString();
}

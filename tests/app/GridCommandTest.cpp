// The commands on the result grid: the clipboard copies over its selection
// and the cell viewer on its current cell.

#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTest>

#include "AppFixture.h"
#include "views/CellView.h"
#include "core/Sjis.h"
#include "views/SqlGrid.h"

namespace {

class GridCommandTest : public AppTest {
 protected:
  void SetUp() override {
    ExecSqlite(Database(),
               "CREATE TABLE EMP (EMPNO NUMBER(4), ENAME VARCHAR2(10), JOB VARCHAR2(9));"
               "INSERT INTO EMP VALUES (7369, 'SMITH', 'CLERK'), (7499, 'ALLEN', 'SALESMAN'),"
               " (7521, 'O''Brien', 'x'), (7566, 'two' || char(13, 10) || 'lines', '');");
    ASSERT_TRUE(StartApp());
    Connect();
    Run(QStringLiteral("SELECT * FROM EMP ORDER BY EMPNO"));
    ASSERT_EQ(Main().SqlInfo().RowCount(), 4);
  }
  // Selects the block as a click and a drag would; the current cell is its
  // top-left corner.
  void Select(int left, int top, int right, int bottom) {
    Main().Grid().SetSelection({left, top, right, bottom});
    ASSERT_TRUE(Main().Grid().OnClick);
    Main().Grid().OnClick();
  }
  QString Copy(QAction* action) {
    platform.Clipboard.reset();
    Actions().Execute(action);
    return platform.Clipboard.value_or(QStringLiteral("<none>"));
  }
};

}  // namespace

TEST_F(GridCommandTest, CopiesNamesValuesAndWhereClauses) {
  TmodAction& a = Actions();
  Select(1, 1, 3, 1);
  EXPECT_EQ(Copy(a.actFixedRowCopy), QStringLiteral("EMPNO,ENAME,JOB"));
  Select(1, 1, 2, 1);
  EXPECT_EQ(Copy(a.actCellCopy), QStringLiteral("'7369','SMITH'\r\n"));
  Select(1, 1, 2, 2);
  EXPECT_EQ(Copy(a.actWhereCopy), QStringLiteral("where (EMPNO='7369' and ENAME='SMITH')\r\n"
                                                 "or (EMPNO='7499' and ENAME='ALLEN')\r\n"));

  // A single cell.
  Select(2, 2, 2, 2);
  EXPECT_EQ(Copy(a.actFixedRowCopy), QStringLiteral("ENAME"));
  EXPECT_EQ(Copy(a.actCellCopy), QStringLiteral("'ALLEN'\r\n"));
  EXPECT_EQ(Copy(a.actWhereCopy), QStringLiteral("where (ENAME='ALLEN')\r\n"));

  // Two columns by three rows; an empty cell is '', a line break stays
  // inside the quotes and a quote is doubled.
  Select(2, 2, 3, 4);
  EXPECT_EQ(Copy(a.actCellCopy), QStringLiteral("'ALLEN','SALESMAN'\r\n'O''Brien','x'\r\n'two\r\nlines',''\r\n"));
  EXPECT_EQ(Copy(a.actWhereCopy), QStringLiteral("where (ENAME='ALLEN' and JOB='SALESMAN')\r\n"
                                                 "or (ENAME='O''Brien' and JOB='x')\r\n"
                                                 "or (ENAME='two\r\nlines' and JOB='')\r\n"));
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(GridCommandTest, CopiesForASpreadsheetAndAsInLists) {
  TmodAction& a = Actions();
  Run(Q8("SELECT '山田' AS 氏名, 'say \"hi\"' AS MEMO, 'tab' || char(9) || 'x' AS T "
         "UNION ALL SELECT '山田', '', 'two' || char(13, 10) || 'lines' "
         "UNION ALL SELECT 'O''Brien', '山田', ''"));
  ASSERT_EQ(Main().SqlInfo().RowCount(), 3);
  Select(1, 1, 3, 3);
  // Names first; a tab, a line break or a quote puts the value in quotes.
  EXPECT_EQ(Copy(a.actTableCopy), Q8("氏名\tMEMO\tT\r\n"
                                     "山田\t\"say \"\"hi\"\"\"\t\"tab\tx\"\r\n"
                                     "山田\t\t\"two\r\nlines\"\r\n"
                                     "O'Brien\t山田\t\r\n"));
  // One IN per column, each value once, quotes doubled.
  EXPECT_EQ(Copy(a.actInCopy), Q8("氏名 IN ('山田','O''Brien') and MEMO IN ('say \"hi\"','','山田') and "
                                  "T IN ('tab\tx','two\r\nlines','')"));
  Select(2, 3, 2, 3);
  EXPECT_EQ(Copy(a.actTableCopy), Q8("MEMO\r\n山田\r\n"));
  EXPECT_EQ(Copy(a.actInCopy), Q8("MEMO IN ('山田')"));

  // The shortcut and the two menus carry the commands.
  platform.Clipboard.reset();
  QTest::keyClick(&Main().Grid(), Qt::Key_B, Qt::ControlModifier);
  EXPECT_EQ(platform.Clipboard, Q8("MEMO\r\n山田\r\n"));
  for (QMenu* menu : {Main().findChild<QMenu*>(QStringLiteral("mnuEdit")), Main().popGrid}) {
    ASSERT_NE(menu, nullptr);
    EXPECT_TRUE(menu->actions().contains(a.actTableCopy));
    EXPECT_TRUE(menu->actions().contains(a.actInCopy));
  }
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(GridCommandTest, EnabledOnlyOnADataCellWhileIdle) {
  TmodAction& a = Actions();
  auto enabled = [&a] {
    std::vector<bool> states;
    for (QAction* action : {a.actFixedRowCopy, a.actCellCopy, a.actWhereCopy, a.actTableCopy, a.actInCopy})
      states.push_back(a.Update(action));
    return states;
  };
  using B = std::vector<bool>;
  EXPECT_EQ(enabled(), (B{true, true, true, true, true}));

  // Columns but no rows: the names only.
  Run(QStringLiteral("SELECT * FROM EMP WHERE EMPNO < 0"));
  ASSERT_EQ(Main().SqlInfo().ColCount(), 3);
  EXPECT_EQ(enabled(), (B{true, false, false, false, false}));

  // No columns at all.
  Actions().Execute(a.actNew);
  EXPECT_EQ(Main().Col, 0);
  EXPECT_EQ(enabled(), (B{false, false, false, false, false}));
  platform.Clipboard = QStringLiteral("kept");
  Actions().Execute(a.actWhereCopy);
  EXPECT_EQ(platform.Clipboard, QStringLiteral("kept"));

  // While a query runs, none: looked at while its rows arrive.
  std::vector<B> whileRunning;
  platform.OnProcessMessages = [&] {
    if (Main().IsRunning() && Main().SqlInfo().RowMax() == 2) {
      Select(1, 1, 1, 1);
      whileRunning.push_back(enabled());
    }
  };
  Run(QStringLiteral("SELECT * FROM EMP"));
  platform.OnProcessMessages = nullptr;
  ASSERT_FALSE(whileRunning.empty());
  EXPECT_EQ(whileRunning.front(), (B{false, false, false, false, false}));
  EXPECT_EQ(enabled(), (B{true, true, true, true, true}));
}

TEST_F(GridCommandTest, DoubleClickAndEnterShowTheCurrentCell) {
  std::vector<QString> shown;
  auto look = [&shown](QDialog& dialog) {
    auto& view = static_cast<TfrmCellView&>(dialog);
    shown.push_back(view.lblNameValue->text() + "/" + view.lblRowValue->text() + "/" + view.lblColValue->text() +
                    "/" + view.memCell->toPlainText() + "/" + view.lblLenValue->text());
    return static_cast<int>(QDialog::Accepted);
  };
  Select(2, 3, 2, 3);
  platform.ModalScript.push_back(look);
  ASSERT_TRUE(Main().Grid().OnDblClick);
  Main().Grid().OnDblClick();
  Select(1, 2, 1, 2);
  Main().Grid().setFocus();
  platform.ModalScript.push_back(look);
  QTest::keyClick(&Main().Grid(), Qt::Key_Return);
  Select(3, 1, 3, 1);
  platform.ModalScript.push_back(look);
  Actions().Execute(Actions().actViewCell);
  EXPECT_EQ(shown, (std::vector<QString>{QStringLiteral("ENAME/3/2/O'Brien/7"), QStringLiteral("EMPNO/2/1/7499/4"),
                                         QStringLiteral("JOB/1/3/CLERK/5")}));
  EXPECT_EQ(platform.ModalLog.back(), QStringLiteral("frmCellView"));
}

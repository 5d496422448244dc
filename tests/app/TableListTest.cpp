// The table list over the embedded database: what it lists, its filter,
// the columns of the selected table, and the texts it puts into the edit area.

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "AppFixture.h"
#include "app/TableListDialog.h"
#include "core/Sjis.h"
#include "support/FakeSession.h"

namespace {

class TableListTest : public AppTest {
 protected:
  void SetUp() override {
    ExecSqlite(Database(),
               "CREATE TABLE EMP (EMPNO INTEGER NOT NULL, ENAME VARCHAR2(10));"
               "CREATE TABLE 社員 (番号 INTEGER, 氏名 VARCHAR(20) NOT NULL);"
               "CREATE VIEW V_EMP AS SELECT ENAME FROM EMP;"
               "INSERT INTO 社員 VALUES (1, '山田');");
    ASSERT_TRUE(StartApp());
  }
  // Runs the command with look() as the dialog's user; returns what the
  // edit area holds afterwards.
  QString Show(const std::function<void(TfrmTableList&)>& look) {
    platform.ModalScript.push_back([look](QDialog& dialog) {
      look(static_cast<TfrmTableList&>(dialog));
      return dialog.result();
    });
    Actions().Execute(Actions().actTableList);
    return Main().edtSql->toPlainText();
  }
  static QStringList Shown(QTreeWidget* list, int column) {
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
      if (!list->topLevelItem(i)->isHidden()) out << list->topLevelItem(i)->text(column);
    return out;
  }
};

}  // namespace

TEST_F(TableListTest, ListsFiltersAndShowsTheColumns) {
  EXPECT_FALSE(Actions().Update(Actions().actTableList));
  Connect();
  EXPECT_TRUE(Actions().Update(Actions().actTableList));
  QMenu* view = Main().menuBar()->findChild<QMenu*>(QStringLiteral("mnuView"));
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->actions().last(), Actions().actTableList);
  EXPECT_EQ(Actions().actTableList->text(), Q8("テーブル一覧(&T)"));

  bool looked = false;
  Show([&](TfrmTableList& d) {
    looked = true;
    EXPECT_EQ(d.windowTitle(), Q8("テーブル一覧"));
    EXPECT_EQ(Shown(d.lstTables, 1), (QStringList{"EMP", "V_EMP", Q8("社員")}));
    EXPECT_EQ(Shown(d.lstTables, 0), (QStringList{"main", "main", "main"}));
    EXPECT_EQ(Shown(d.lstTables, 2), (QStringList{"TABLE", "VIEW", "TABLE"}));
    // The first table is current, with its columns beside it.
    EXPECT_EQ(Shown(d.lstColumns, 0), (QStringList{"EMPNO", "ENAME"}));
    EXPECT_EQ(Shown(d.lstColumns, 2), (QStringList{"", "10"}));
    EXPECT_EQ(Shown(d.lstColumns, 3), (QStringList{Q8("不可"), Q8("可")}));

    d.edtFilter->setText(Q8("社"));
    EXPECT_EQ(Shown(d.lstTables, 1), QStringList{Q8("社員")});
    EXPECT_EQ(Shown(d.lstColumns, 0), (QStringList{Q8("番号"), Q8("氏名")}));
    EXPECT_EQ(Shown(d.lstColumns, 1), (QStringList{"INTEGER", "VARCHAR(20)"}));
    d.edtFilter->setText(QStringLiteral("main.v_"));
    EXPECT_EQ(Shown(d.lstTables, 1), QStringList{"V_EMP"});
    d.edtFilter->setText(QStringLiteral("nothing"));
    EXPECT_TRUE(Shown(d.lstTables, 1).isEmpty());
    EXPECT_EQ(d.lstColumns->topLevelItemCount(), 0);
    // Nothing to insert: the buttons do nothing.
    d.btnSelect->click();
    EXPECT_EQ(d.result(), QDialog::Rejected);
  });
  EXPECT_TRUE(looked);
  EXPECT_EQ(platform.ModalLog.back(), QStringLiteral("frmTableList"));
  EXPECT_TRUE(Main().edtSql->toPlainText().isEmpty());
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(TableListTest, PutsNamesAndSelectsAtTheCursor) {
  Connect();
  Main().edtSql->setPlainText(QStringLiteral("SELECT * FROM \nWHERE 1 = 1"));
  QTextCursor cursor = Main().edtSql->textCursor();
  cursor.setPosition(14);
  Main().edtSql->setTextCursor(cursor);
  // Enter on a table puts its name at the cursor and closes the list.
  EXPECT_EQ(Show([](TfrmTableList& d) {
              d.edtFilter->setText(Q8("社"));
              d.lstTables->setFocus();
              QTest::keyClick(d.lstTables, Qt::Key_Return);
            }),
            Q8("SELECT * FROM 社員\nWHERE 1 = 1"));
  EXPECT_TRUE(Main().SqlHasFocus());

  // The SELECT of all columns, which runs as it stands.
  Actions().Execute(Actions().actNew);
  EXPECT_EQ(Show([](TfrmTableList& d) {
              d.edtFilter->setText(Q8("社"));
              d.btnSelect->click();
            }),
            Q8("SELECT 番号, 氏名 FROM 社員"));
  Actions().Execute(Actions().actStart);
  EXPECT_EQ(Main().SqlInfo().ColCount(), 2);
  EXPECT_EQ(Main().SqlInfo().GetCell(2, 1), SJ("山田"));

  // Enter in the filter box takes the first table it leaves.
  Actions().Execute(Actions().actNew);
  EXPECT_EQ(Show([](TfrmTableList& d) {
              d.edtFilter->setText(QStringLiteral("v_"));
              QTest::keyClick(d.edtFilter, Qt::Key_Return);
            }),
            QStringLiteral("V_EMP"));

  // Ctrl+T from the edit area; closing inserts nothing.
  Actions().Execute(Actions().actNew);
  bool shown = false;
  platform.ModalScript.push_back([&](QDialog& d) {
    shown = true;
    static_cast<TfrmTableList&>(d).btnClose->click();
    return d.result();
  });
  QTest::keyClick(Main().edtSql, Qt::Key_T, Qt::ControlModifier);
  EXPECT_TRUE(shown);
  EXPECT_TRUE(Main().edtSql->toPlainText().isEmpty());
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(AppTest, AFailedCatalogueReadingIsReportedWithoutTheDialog) {
  auto script = std::make_shared<TFakeScript>();
  ASSERT_TRUE(StartApp("quorrel", [script] { return MakeFakeSession(script); }));
  Connect();
  script->Query = {true, 1, SJ("表が読めません")};
  const size_t dialogs = platform.ModalLog.size();
  Actions().Execute(Actions().actTableList);
  EXPECT_EQ(platform.ModalLog.size(), dialogs);
  EXPECT_EQ(platform.LastMessage(), Q8("テーブル一覧の読込み時にエラーが発生しました。\n表が読めません"));
  EXPECT_EQ(Main().StatusMsg(), SJ("エラーが発生しました"));
  EXPECT_FALSE(Main().IsProcessing());
}

// Connecting and running statements through the real window: status
// messages, the grid's contents, stop, row limit, failures, and closing
// during a run.

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QLabel>
#include <QTest>

#include "AppFixture.h"
#include "app/LoginDialog.h"
#include "core/Sjis.h"
#include "support/FakeSession.h"
#include "views/SqlGrid.h"

namespace {

std::vector<QString> Texts(std::initializer_list<const char*> utf8) {
  std::vector<QString> out;
  for (const char* s : utf8) out.push_back(QString::fromUtf8(s));
  return out;
}

void MakeJapaneseTables(const std::string& path) {
  ExecSqlite(path,
             "CREATE TABLE DEPT (DEPTNO NUMBER(2), DNAME VARCHAR2(14), LOC VARCHAR2(13));"
             "INSERT INTO DEPT VALUES (10, '経理部', '東京');"
             "INSERT INTO DEPT VALUES (20, '研究開発部', '大阪');"
             "INSERT INTO DEPT VALUES (30, '営業部', '名古屋');"
             "INSERT INTO DEPT VALUES (40, '運用', NULL);");
}

}  // namespace

TEST_F(AppTest, ConnectThroughTheLoginDialog) {
  ASSERT_TRUE(StartApp());
  RecordStatus();
  Connect();
  EXPECT_TRUE(Main().IsConnected());
  EXPECT_EQ(status, Texts({"データベースへ接続中...", "", "よく使うＳＱＬを読込み中...", "履歴ファイルを読込み中...", "",
                          "データベースへ接続しました"}));
  EXPECT_EQ(platform.ModalLog, (std::vector<QString>{QStringLiteral("frmLogin")}));
  EXPECT_EQ(platform.CursorLog, (std::vector<TCursor>{TCursor::HourGlass, TCursor::Default}));
  EXPECT_FALSE(Main().IsProcessing());
  EXPECT_TRUE(Main().edtSql->isEnabled());
  EXPECT_TRUE(Main().lstFreq->isEnabled());
  EXPECT_TRUE(Main().SqlHasFocus());
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(AppTest, RefusedOrCancelledConnectLeavesTheProgramDisconnected) {
  ASSERT_TRUE(StartApp());
  // Cancel changes nothing, and the command comes back with the next update.
  Actions().Execute(Actions().actConnect);
  EXPECT_FALSE(Main().IsConnected());
  EXPECT_FALSE(Actions().actConnect->isEnabled());
  Actions().UpdateActions();
  EXPECT_TRUE(Actions().actConnect->isEnabled());

  const QString bad = QString::fromStdString(dir.File("missing/dir/x.db"));
  platform.ModalScript.push_back([&](QDialog& dialog) {
    auto& login = static_cast<TfrmLogin&>(dialog);
    login.edtUser->setText(QStringLiteral("scott"));
    login.edtHost->setText(bad);
    return static_cast<int>(QDialog::Accepted);
  });
  Actions().Execute(Actions().actConnect);
  EXPECT_FALSE(Main().IsConnected());
  EXPECT_EQ(Main().StatusMsg(), SJ("エラーが発生しました"));
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_FALSE(platform.LastMessage().isEmpty());
  EXPECT_FALSE(Main().IsProcessing());
  EXPECT_EQ(platform.Cursor(), TCursor::Default);

  // The dialog shows what was typed last time.
  QString user, host;
  platform.ModalScript.push_back([&](QDialog& dialog) {
    auto& login = static_cast<TfrmLogin&>(dialog);
    user = login.edtUser->text();
    host = login.edtHost->text();
    return static_cast<int>(QDialog::Rejected);
  });
  Actions().Execute(Actions().actConnect);
  EXPECT_EQ(user, QStringLiteral("scott"));
  EXPECT_EQ(host, bad);
}

TEST_F(AppTest, LoginDialogKeysAndFocus) {
  ASSERT_TRUE(StartApp());
  TfrmLogin& login = App().Login();
  EXPECT_EQ(login.windowTitle(), Q8("データベースに接続"));
  EXPECT_EQ(login.LblUser->buddy(), login.edtUser);
  EXPECT_EQ(login.LblPassword->buddy(), login.edtPassword);
  EXPECT_EQ(login.LblHost->buddy(), login.edtHost);
  EXPECT_TRUE(login.btnOk->isDefault());
  EXPECT_EQ(login.minimumSize(), login.maximumSize());
  // Tab goes user, password, host, OK, cancel, the list's remove button and
  // round again. As Tab does, a widget that hands its focus on is passed
  // over: the host line's focus goes to its combo box.
  std::vector<QWidget*> chain;
  QWidget* w = login.edtUser;
  for (int i = 0; i < 7; ++i) {
    chain.push_back(w);
    do w = w->nextInFocusChain();
    while (!(w->focusPolicy() & Qt::TabFocus) || w->focusProxy());
  }
  EXPECT_EQ(chain, (std::vector<QWidget*>{login.edtUser, login.edtPassword, login.cmbHost, login.btnOk,
                                          login.btnCancel, login.btnRemove, login.edtUser}));
  EXPECT_EQ(login.edtHost->focusProxy(), login.cmbHost);

  // Every showing starts in the user name, and the password shows as stars.
  login.edtPassword->setText(QStringLiteral("tiger"));
  login.show();
  login.edtHost->setFocus();
  login.hide();
  login.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(login.focusWidget(), login.edtUser);
  EXPECT_EQ(login.edtPassword->displayText(), QStringLiteral("*****"));
  // Enter in a field is OK, Esc cancels.
  QTest::keyClick(login.edtHost, Qt::Key_Return);
  EXPECT_EQ(login.result(), QDialog::Accepted);
  login.show();
  QTest::keyClick(login.edtUser, Qt::Key_Escape);
  EXPECT_EQ(login.result(), QDialog::Rejected);
  // Enter on the focused cancel button cancels.
  login.show();
  login.btnCancel->setFocus();
  QTest::keyClick(login.btnCancel, Qt::Key_Return);
  EXPECT_EQ(login.result(), QDialog::Rejected);
  EXPECT_FALSE(login.isVisible());
  login.hide();
}

TEST_F(AppTest, QueryFillsTheGridWithStatusMessagesInOrder) {
  MakeJapaneseTables(Database());
  ASSERT_TRUE(StartApp());
  Connect();
  RecordStatus();
  Run(Q8("REM 部署の一覧\nSELECT DEPTNO, DNAME, LOC FROM DEPT ORDER BY DEPTNO"));

  EXPECT_EQ(status, Texts({"", "ＳＱＬ処理中...", "履歴情報を保存中...", "履歴情報を保存しました", "ＳＱＬ処理終了"}));
  TSqlInfo& info = Main().SqlInfo();
  EXPECT_EQ(info.Status(), SJ("完了"));
  EXPECT_EQ(info.RowMax(), 4);
  EXPECT_EQ(info.RowCount(), 4);
  EXPECT_GT(info.EndTime(), 0);
  EXPECT_EQ(Panel(1), Q8("完了"));
  EXPECT_EQ(Panel(3), Q8("3列"));
  EXPECT_FALSE(Main().IsRunning() || Main().IsSelect || Main().IsProcessing());
  EXPECT_EQ(platform.Cursor(), TCursor::Default);
  EXPECT_TRUE(Main().edtSql->isEnabled());

  TSqlGrid& grid = Main().Grid();
  EXPECT_TRUE(grid.Enabled());
  EXPECT_EQ(Main().focusWidget(), &grid);
  EXPECT_EQ(grid.ColCount(), 4);
  EXPECT_EQ(grid.RowCount(), 5);
  EXPECT_EQ(grid.Cells(1, 0), "DEPTNO");
  EXPECT_EQ(grid.Cells(2, 0), "DNAME");
  for (int r = 1; r <= 4; ++r) EXPECT_EQ(grid.Cells(0, r), std::to_string(r));
  EXPECT_EQ(grid.Cells(1, 1), "10");
  EXPECT_EQ(grid.Cells(2, 2), SJ("研究開発部"));
  EXPECT_EQ(grid.Cells(3, 3), SJ("名古屋"));
  EXPECT_EQ(grid.Cells(3, 4), "");
  // Numbers right, texts left; rows alternate between the two colour pairs.
  EXPECT_EQ(grid.ColAttr(1)->HAlign, 2);
  EXPECT_EQ(grid.ColAttr(2)->HAlign, 1);
  EXPECT_EQ(grid.RowAttr(1)->BackColor, 0xFFFFFFu);
  EXPECT_EQ(grid.RowAttr(2)->BackColor, 0x80000018u);
  EXPECT_EQ(grid.RowAttr(3)->BackColor, 0xFFFFFFu);
  // The history gets the text as typed, the engine the blanked text.
  EXPECT_EQ(Main().SqlLines()[0], SJ("REM 部署の一覧"));
}

TEST_F(AppTest, StopAfterTheTenthRowKeepsElevenRows) {
  MakeSeriesTable(Database(), 100);
  ASSERT_TRUE(StartApp());
  Connect();
  RecordStatus();
  bool stopped = false;
  platform.OnProcessMessages = [&] {
    if (!stopped && Main().IsRunning() && Main().SqlInfo().RowMax() == 10) {
      stopped = true;
      EXPECT_TRUE(Actions().Update(Actions().actStop));
      Actions().Execute(Actions().actStop);
    }
  };
  Run(QStringLiteral("SELECT * FROM T"));
  EXPECT_TRUE(stopped);
  EXPECT_EQ(Main().SqlInfo().RowMax(), 11);
  EXPECT_EQ(Main().SqlInfo().RowCount(), 100);
  EXPECT_EQ(Main().SqlInfo().Status(), SJ("中断"));
  EXPECT_EQ(status.back(), Q8("強制終了しました"));
  EXPECT_EQ(Main().Grid().RowCount(), 12);
  // The stopped query no longer locks the file: another program may write.
  ExecSqlite(Database(), "INSERT INTO T (N) VALUES (0)");
  Run(QStringLiteral("DROP TABLE T"));
  EXPECT_EQ(Main().StatusMsg(), SJ("ＳＱＬ処理終了"));
}

TEST_F(AppTest, StopWorksWithTimeSlicedMessageHandling) {
  MakeSeriesTable(Database(), 5000);
  ASSERT_TRUE(StartApp());
  App().MessageSliceMs = 1;
  Connect();
  int rowsAtStop = -1;
  platform.OnProcessMessages = [&] {
    if (rowsAtStop < 0 && Main().IsRunning() && Main().SqlInfo().RowMax() > 0) {
      rowsAtStop = Main().SqlInfo().RowMax();
      Actions().Execute(Actions().actStop);
    }
  };
  SetMaxRow(App(), 1000000);
  Run(QStringLiteral("SELECT * FROM T"));
  ASSERT_GT(rowsAtStop, 0);
  EXPECT_EQ(Main().SqlInfo().RowMax(), rowsAtStop + 1);
  EXPECT_EQ(Main().SqlInfo().Status(), SJ("中断"));
}

// While the database sorts, the window keeps handling its messages, and a
// stop ends the run there: no rows and no error, the run stopped.
TEST_F(AppTest, AStopDuringALongSortEndsTheRunAtOnce) {
  MakeSeriesTable(Database(), 300000);
  ASSERT_TRUE(StartApp());
  Connect();
  RecordStatus();
  int passesWhileOpening = 0;
  platform.OnProcessMessages = [&] {
    if (!Main().IsRunning() || Main().SqlInfo().ColCount() > 0) return;
    // Columns come once the query is open: this pass is inside the sort.
    if (++passesWhileOpening != 2) return;
    Actions().Execute(Actions().actStop);
    // Clicks that arrive with the stop find the query still finishing: a
    // disconnect or a new run now would pull the statement from under it.
    Actions().UpdateActions();
    EXPECT_FALSE(Actions().actDisConnect->isEnabled());
    EXPECT_FALSE(Actions().actStart->isEnabled());
    Actions().Execute(Actions().actDisConnect);
    Actions().Execute(Actions().actStart);
  };
  Run(QStringLiteral("SELECT * FROM T ORDER BY NAME DESC, V"));
  EXPECT_EQ(passesWhileOpening, 2);
  EXPECT_TRUE(Main().IsConnected());
  EXPECT_EQ(Main().SqlInfo().RowMax(), 0);
  EXPECT_EQ(Main().SqlInfo().Status(), SJ("中断"));
  EXPECT_EQ(status.back(), Q8("強制終了しました"));
  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_FALSE(Main().IsRunning());
  // The next run sorts to the end.
  platform.OnProcessMessages = nullptr;
  Run(QStringLiteral("SELECT * FROM T ORDER BY NAME DESC, V"));
  EXPECT_EQ(Main().SqlInfo().Status(), SJ("完了"));
  EXPECT_EQ(Main().SqlInfo().RowCount(), 300000);
  EXPECT_EQ(Main().Grid().Cells(2, 1), "name99999");
}

TEST_F(AppTest, RowLimitEndsAsCompleted) {
  MakeSeriesTable(Database(), 20);
  ASSERT_TRUE(StartApp());
  SetMaxRow(App(), 5);
  Connect();
  Run(QStringLiteral("select * from t"));
  EXPECT_EQ(Main().SqlInfo().RowMax(), 5);
  EXPECT_EQ(Main().SqlInfo().RowCount(), 20);
  EXPECT_EQ(Main().SqlInfo().Status(), SJ("完了"));
  EXPECT_EQ(Main().StatusMsg(), SJ("ＳＱＬ処理終了"));
  EXPECT_TRUE(platform.Messages.empty());
  // The rows left unread hold no lock on the file, nor does a disconnect.
  ExecSqlite(Database(), "INSERT INTO T (N) VALUES (0)");
  Actions().Execute(Actions().actDisConnect);
  ExecSqlite(Database(), "DROP TABLE T");
}

TEST_F(AppTest, UpdateReportsItsRowCountAndCanBeStopped) {
  MakeSeriesTable(Database(), 10);
  ASSERT_TRUE(StartApp());
  Connect();
  RecordStatus();
  bool stopEverEnabled = false;
  QObject::connect(Actions().actStop, &QAction::changed, &Main(),
                   [&] { stopEverEnabled |= Actions().actStop->isEnabled(); });
  Run(QStringLiteral("UPDATE T SET V = 0 WHERE N <= 3"));
  EXPECT_TRUE(stopEverEnabled);
  EXPECT_EQ(Main().SqlInfo().RowCount(), 3);
  EXPECT_EQ(Main().SqlInfo().ColCount(), 0);
  EXPECT_EQ(Main().SqlInfo().Status(), SJ("完了"));
  EXPECT_EQ(Panel(3), Q8("0列"));
  EXPECT_EQ(status, Texts({"", "ＳＱＬ処理中...", "履歴情報を保存中...", "履歴情報を保存しました", "ＳＱＬ処理終了"}));
  EXPECT_FALSE(Main().Grid().Enabled());
}

TEST_F(AppTest, RejectedStatementShowsTheDatabaseError) {
  ASSERT_TRUE(StartApp());
  Connect();
  RecordStatus();
  Run(QStringLiteral("SELECT * FROM NOSUCH"));
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_TRUE(platform.LastMessage().contains(QStringLiteral("NOSUCH"))) << platform.LastMessage().toStdString();
  EXPECT_EQ(status, Texts({"", "ＳＱＬ処理中...", "エラーが発生しました"}));
  EXPECT_EQ(Main().SqlInfo().Status(), "");
  EXPECT_EQ(Main().SqlInfo().EndTime(), 0);
  EXPECT_FALSE(Main().IsRunning() || Main().IsSelect);
  EXPECT_EQ(platform.Cursor(), TCursor::Default);

  // Only blanks: the statement runs and the database has its say.
  Run(QStringLiteral("   "));
  EXPECT_EQ(platform.Messages.size(), 2u);
  EXPECT_EQ(Main().StatusMsg(), SJ("エラーが発生しました"));
}

TEST_F(AppTest, FetchFailureKeepsTheRowsAndIsReported) {
  auto script = std::make_shared<TFakeScript>();
  script->Columns = {{"ID", 2, 22, 10, 0}, {"NAME", 1, 20}};
  for (int i = 1; i <= 10; ++i) script->Rows.push_back({FakeText(std::to_string(i)), FakeText("n" + std::to_string(i))});
  script->FailMoveNextTo = 4;
  script->Fetch = {true, 3113, "end-of-file on communication channel"};
  ASSERT_TRUE(StartApp("quorrel", [script] { return MakeFakeSession(script); }));
  Connect();
  RecordStatus();
  Run(QStringLiteral("SELECT * FROM T"));
  EXPECT_EQ(Main().SqlInfo().RowMax(), 4);
  EXPECT_EQ(Main().Grid().Cells(2, 4), "n4");
  EXPECT_EQ(Main().SqlInfo().Status(), "Err");
  EXPECT_GT(Main().SqlInfo().EndTime(), 0);
  EXPECT_EQ(platform.LastMessage(), QStringLiteral("end-of-file on communication channel"));
  EXPECT_EQ(status.back(), Q8("エラーが発生しました"));
  EXPECT_EQ(Panel(1), QStringLiteral("Err"));
}

TEST_F(AppTest, ClosingDuringARunStopsItThenDisconnects) {
  MakeSeriesTable(Database(), 100);
  ASSERT_TRUE(StartApp());
  Connect();
  RecordStatus();
  bool closed = false;
  QObject::connect(&Main(), &TfrmMain::Closed, &Main(), [&] { closed = true; });
  platform.OnProcessMessages = [&] {
    if (Main().IsRunning() && Main().SqlInfo().RowMax() == 5) Main().close();
  };
  Run(QStringLiteral("SELECT * FROM T"));
  EXPECT_TRUE(closed);
  EXPECT_TRUE(Main().IsClosed());
  EXPECT_FALSE(Main().IsConnected());
  EXPECT_EQ(Main().SqlInfo().Status(), "");  // cleared by the disconnect
  EXPECT_EQ(status, Texts({"", "ＳＱＬ処理中...", "履歴情報を保存中...", "履歴情報を保存しました", "強制終了しました",
                          "よく使うＳＱＬを書込み中...", "よく使うＳＱＬを書込みました", "履歴ファイルを書込み中...",
                          "履歴ファイルを書込みました", "", "接続を切断しました"}));
}

TEST_F(AppTest, ClosingRightAfterAStopWaitsForTheRunToEnd) {
  MakeSeriesTable(Database(), 100);
  ASSERT_TRUE(StartApp());
  Connect();
  RecordStatus();
  int rowsAtClose = -1;
  platform.OnProcessMessages = [&] {
    if (rowsAtClose < 0 && Main().IsRunning() && Main().SqlInfo().RowMax() == 5) {
      Actions().Execute(Actions().actStop);
      rowsAtClose = Main().SqlInfo().RowMax();
      Main().close();
      // The driver still has a row to fetch: the window waits for it.
      EXPECT_FALSE(Main().IsClosed());
      EXPECT_TRUE(Main().IsConnected());
    }
  };
  Run(QStringLiteral("SELECT * FROM T"));
  EXPECT_EQ(rowsAtClose, 5);
  EXPECT_TRUE(Main().IsClosed());
  EXPECT_FALSE(Main().IsConnected());
  EXPECT_EQ(status, Texts({"", "ＳＱＬ処理中...", "履歴情報を保存中...", "履歴情報を保存しました", "強制終了しました",
                          "よく使うＳＱＬを書込み中...", "よく使うＳＱＬを書込みました", "履歴ファイルを書込み中...",
                          "履歴ファイルを書込みました", "", "接続を切断しました"}));
}

TEST_F(AppTest, ClosingWhileConnectedAndIdleDisconnectsFirst) {
  ASSERT_TRUE(StartApp());
  Connect();
  Actions().Execute(Actions().actExit);
  EXPECT_TRUE(Main().IsClosed());
  EXPECT_FALSE(Main().IsConnected());
  EXPECT_EQ(Main().StatusMsg(), SJ("接続を切断しました"));
}

TEST_F(AppTest, ScreenshotOfAQueryOverJapaneseData) {
  ExecSqlite(Database(),
             "CREATE TABLE EMP (EMPNO NUMBER(4), ENAME VARCHAR2(10), JOB VARCHAR2(9), HIREDATE DATE,"
             " SAL NUMBER(7,2), DNAME VARCHAR2(14));"
             "INSERT INTO EMP VALUES (7369, '鈴木一郎', '事務', '1980-12-17 00:00:00', 800, '研究開発部');"
             "INSERT INTO EMP VALUES (7499, '佐藤花子', '営業', '1981-02-20 00:00:00', 1600, '営業部');"
             "INSERT INTO EMP VALUES (7521, '高橋健', '営業', '1981-02-22 00:00:00', 1250, '営業部');"
             "INSERT INTO EMP VALUES (7566, '田中美咲', '管理職', '1981-04-02 00:00:00', 2975, '研究開発部');"
             "INSERT INTO EMP VALUES (7698, '伊藤翔', '管理職', '1981-05-01 00:00:00', 2850, '営業部');"
             "INSERT INTO EMP VALUES (7782, '渡辺直子', '管理職', '1981-06-09 00:00:00', 2450, '経理部');"
             "INSERT INTO EMP VALUES (7839, '山本大輔', '社長', '1981-11-17 00:00:00', 5000, '経理部');");
  ASSERT_TRUE(StartApp());
  Main().resize(820, 600);
  Connect();
  Run(Q8("SELECT EMPNO, ENAME, JOB, HIREDATE, SAL, DNAME\nFROM EMP ORDER BY EMPNO"));
  ASSERT_EQ(Main().SqlInfo().RowMax(), 7);
  Actions().UpdateActions();  // what the first idle moment does
  QCoreApplication::processEvents();
  QImage shot = Main().grab().toImage();
  ASSERT_FALSE(shot.isNull());
  const QString path = QStringLiteral(QUORREL_BUILD_DIR "/main-window.png");
  ASSERT_TRUE(shot.save(path)) << path.toStdString();
  EXPECT_TRUE(QFileInfo::exists(path));
}

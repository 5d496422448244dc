// The run history through the real program: what a run leaves behind, the
// index written at disconnect and read at connect, trimming and the files of
// dropped runs, damaged indexes, failed writes, and bringing a run back.

#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include "AppFixture.h"
#include "app/HistoryStore.h"
#include "core/Sjis.h"
#include "storage/AtomicFile.h"
#include "storage/Options.h"
#include "views/DiffDialog.h"
#include "views/SortDialog.h"
#include "views/SqlGrid.h"

namespace {

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

class HistoryTest : public AppTest {
 protected:
  // Every run starts on 3 April 2001 at 09:05 plus `second` seconds.
  void RunAt(int second, const QString& sql) {
    clock.now = EncodeDateTime(2001, 4, 3, 9, 5, 0) + second / 86400.0;
    Run(sql);
  }
  std::string CsvOf(int second) const {
    char name[32];
    std::snprintf(name, sizeof name, "20010403_%02d%02d%02d.csv", 9, 5 + second / 60, second % 60);
    return dir.File(name);
  }
  std::string Index() const { return dir.File("quorrel_Log.xml"); }
  TfrmLog& Log() { return App().LogDialog(); }
  TOptions& Options() { return App().Options(); }
  void Disconnect() { Actions().Execute(Actions().actDisConnect); }
  // Opens the history dialog and lets `act` work on it.
  void OpenLog(std::function<void(TfrmLog&)> act) {
    platform.ModalScript.push_back([act](QDialog& d) {
      act(static_cast<TfrmLog&>(d));
      return d.result();
    });
    Actions().Execute(Actions().actLog);
  }

  TFixedClock clock;
};

}  // namespace

TEST_F(HistoryTest, MaxLogTrimsTheIndexAndDeletesTheDroppedRunsFiles) {
  MakeSeriesTable(Database(), 3);
  ASSERT_TRUE(StartApp());
  Connect();
  for (int i = 1; i <= 13; ++i) RunAt(i, QStringLiteral("select N, %1 from T").arg(i));
  ASSERT_EQ(Log().RunCount(), 13);
  for (int i = 1; i <= 13; ++i) ASSERT_TRUE(Exists(CsvOf(i))) << i;

  OpenLog([](TfrmLog& log) { EXPECT_EQ(log.grdLog->Cells(0, 3), SJ("削除")); });
  Disconnect();
  const std::string index = ReadFileBytes(Index());
  EXPECT_EQ(Count(index, "<Row>"), 10);
  EXPECT_EQ(Count(index, "<Li>select N, 3 from T</Li>"), 0);
  EXPECT_EQ(Count(index, "<Li>select N, 4 from T</Li>"), 1);
  EXPECT_EQ(Count(index, "<Li>select N, 13 from T</Li>"), 1);
  for (int i = 1; i <= 13; ++i) EXPECT_EQ(Exists(CsvOf(i)), i > 3) << i;
  // Memory keeps every run until the history is read again.
  EXPECT_EQ(Log().RunCount(), 13);

  Connect();
  ASSERT_EQ(Log().RunCount(), 10);
  EXPECT_EQ(Log().RunAt(1)->Sql, TStrings{"select N, 4 from T"});
  // Nothing is marked any more.
  OpenLog([](TfrmLog& log) {
    EXPECT_EQ(log.grdLog->Cells(0, 1), "1");
    EXPECT_EQ(log.grdLog->Cells(0, 10), "10");
  });
}

TEST_F(HistoryTest, TrimmingKeepsAFileThatANewerRunOfTheSameSecondNames) {
  MakeSeriesTable(Database(), 3);
  ASSERT_TRUE(StartApp());
  Connect();
  RunAt(0, QStringLiteral("select N from T where N < 2"));
  RunAt(0, QStringLiteral("select N from T"));  // same second, same file
  for (int i = 1; i <= 9; ++i) RunAt(i, QStringLiteral("select %1").arg(i));
  Disconnect();
  // The older run is dropped, its file is not: the kept run's rows are in it.
  EXPECT_EQ(Count(ReadFileBytes(Index()), "<Row>"), 10);
  EXPECT_EQ(ReadFileBytes(CsvOf(0)), "N,\r\n1,\r\n2,\r\n3,\r\n");
}

TEST_F(HistoryTest, TheExampleIndexIsReadAndWrittenBackByteForByte) {
  const std::string golden = ReadFileBytes(std::string(STORAGE_GOLDEN_DIR) + "history_index.xml");
  ASSERT_FALSE(golden.empty());
  WriteFileBytes(Index(), golden);
  ASSERT_TRUE(StartApp());
  RecordStatus();
  Connect();
  EXPECT_NE(std::find(status.begin(), status.end(), Q8("履歴ファイルを読込みました")), status.end());
  ASSERT_EQ(Log().RunCount(), 1);
  const TSqlInfo& run = *Log().RunAt(1);
  EXPECT_EQ(run.Sql, TStrings{"select empno, ename from emp"});
  EXPECT_EQ(FormatDateTime(run.Date()), "2001/04/03 00:00:00");
  EXPECT_EQ(FormatTime(run.StartTime()), "09:05:07");
  EXPECT_EQ(run.Status(), SJ("完了"));
  EXPECT_EQ(run.RowPos(), 14);
  ASSERT_EQ(run.ColCount(), 2);
  EXPECT_EQ(run.ColName(0), "EMPNO");
  EXPECT_EQ(run.ColPrecision(0), 4);
  EXPECT_EQ(run.ColType(1), "VARCHAR2");
  EXPECT_EQ(RunFile(App(), run), dir.File("20010403_090507.csv"));
  std::filesystem::remove(Index());
  Disconnect();
  EXPECT_EQ(ReadFileBytes(Index()), golden);
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(HistoryTest, UnusableIndexesGiveAnEmptyHistoryAndStayUntouched) {
  const std::string decl = "<?xml version = \"1.0\" encoding = \"Shift_JIS\" ?>\r\n";
  struct TCase {
    const char* Name;
    std::string Bytes;  // empty: no file
    const char* Status;
  } cases[] = {
      {"missing", "", ""},
      {"bad declaration", "<?xml version='1.0'?>\r\n<Log>\r\n</Log>\r\n", ""},
      {"other root", decl + "<Result>\r\n</Result>\r\n", "履歴ファイルを読込み中..."},
      {"rows without sql", decl + "<Log>\r\n\t<Row>\r\n\t\t<Sql>\r\n\t\t</Sql>\r\n\t</Row>\r\n\t<Row>\r\n\t</Row>\r\n</Log>\r\n",
       "履歴ファイルを読込み中..."},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    if (!c.Bytes.empty()) WriteFileBytes(Index(), c.Bytes);
    ASSERT_TRUE(StartApp());
    RecordStatus();
    Connect();
    EXPECT_EQ(Log().RunCount(), 0);
    ASSERT_GE(status.size(), 2u);
    EXPECT_EQ(status[status.size() - 2], Q8(c.Status));
    // No run since: the disconnect leaves the index as it found it.
    Disconnect();
    EXPECT_EQ(Exists(Index()), !c.Bytes.empty());
    if (!c.Bytes.empty()) {
      EXPECT_EQ(ReadFileBytes(Index()), c.Bytes);
    }
    EXPECT_TRUE(platform.Messages.empty());
    app_.reset();
    status.clear();
    std::filesystem::remove(Index());
  }
}

TEST_F(HistoryTest, WhatARunLeavesFollowsTheLogOption) {
  MakeSeriesTable(Database(), 2);
  ASSERT_TRUE(StartApp());
  Connect();
  RecordStatus();

  // SQL only: the run is kept, its rows are not.
  Options().LogOption = 1;
  RunAt(1, QStringLiteral("-- rows\nselect N from T"));
  ASSERT_EQ(Log().RunCount(), 1);
  EXPECT_EQ(Log().RunAt(1)->Sql, (TStrings{"-- rows", "select N from T"}));
  EXPECT_FALSE(Exists(CsvOf(1)));

  // A statement that is no query is kept without a file whatever the option.
  Options().LogOption = 0;
  RunAt(2, QStringLiteral("create table U (A integer)"));
  ASSERT_EQ(Log().RunCount(), 2);
  EXPECT_EQ(Log().RunAt(2)->ColCount(), 0);
  EXPECT_FALSE(Exists(CsvOf(2)));

  // No history: nothing kept, and the status goes straight to the end.
  Options().LogOption = 2;
  status.clear();
  RunAt(3, QStringLiteral("select N from T"));
  EXPECT_EQ(Log().RunCount(), 2);
  EXPECT_FALSE(Exists(CsvOf(3)));
  EXPECT_EQ(status, (std::vector<QString>{QString(), Q8("ＳＱＬ処理中..."), Q8("ＳＱＬ処理終了")}));
}

TEST_F(HistoryTest, AUserDirectoryIsUsedAsTheOptionsStandAtEachUse) {
  MakeSeriesTable(Database(), 2);
  const std::string first = dir.File("first"), second = dir.File("second");
  std::filesystem::create_directory(first);
  std::filesystem::create_directory(second);
  ASSERT_TRUE(StartApp());
  Connect();
  Options().PathOption = 1;
  Options().Path = first;
  RunAt(1, QStringLiteral("select N from T"));
  EXPECT_TRUE(Exists(first + "/20010403_090501.csv"));
  Options().Path = second;
  EXPECT_EQ(LogDir(App()), second + "/");
  EXPECT_EQ(LogFile(App()), second + "/quorrel_Log.xml");
  Disconnect();
  EXPECT_TRUE(Exists(second + "/quorrel_Log.xml"));
  EXPECT_FALSE(Exists(first + "/quorrel_Log.xml"));
  EXPECT_FALSE(Exists(Index()));
}

TEST_F(HistoryTest, AResultFileThatCannotBeWrittenEndsTheRunWithTheError) {
  MakeSeriesTable(Database(), 2);
  ASSERT_TRUE(StartApp());
  Connect();
  SetAtomicWriteFailAfterForTesting(0);
  RunAt(1, QStringLiteral("select N from T"));
  SetAtomicWriteFailAfterForTesting(-1);
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_EQ(platform.LastMessage(), Q8("実行結果ファイル書込み時にエラーが発生しました。"));
  EXPECT_EQ(Main().StatusMsg(), SJ("エラーが発生しました"));
  EXPECT_EQ(Log().RunCount(), 1);
  EXPECT_FALSE(Exists(CsvOf(1)));
  EXPECT_FALSE(Main().IsRunning());
}

TEST_F(HistoryTest, FailedWritesAtDisconnectAreReportedAndTheOldFilesStayWhole) {
  MakeSeriesTable(Database(), 2);
  ASSERT_TRUE(StartApp());
  Connect();
  RunAt(1, QStringLiteral("select N from T"));
  Main().edtSql->setPlainText(QStringLiteral("select 1"));
  Actions().Execute(Actions().actFreqAdd);
  Disconnect();
  const std::string index = ReadFileBytes(Index()), favourites = ReadFileBytes(App().Files().FreqFile);

  Connect();
  RunAt(2, QStringLiteral("select N from T"));
  Actions().Execute(Actions().actFreqAdd);
  SetAtomicWriteFailAfterForTesting(0);
  Disconnect();
  SetAtomicWriteFailAfterForTesting(-1);
  ASSERT_EQ(platform.Messages.size(), 2u);
  EXPECT_EQ(platform.Messages[0].Text, Q8("よく使うＳＱＬファイル書込み時にエラーが発生しました。"));
  EXPECT_EQ(platform.Messages[1].Text, Q8("履歴ファイル書込み時にエラーが発生しました。"));
  EXPECT_FALSE(Main().IsConnected());
  EXPECT_EQ(Main().StatusMsg(), SJ("接続を切断しました"));
  EXPECT_EQ(ReadFileBytes(Index()), index);
  EXPECT_EQ(ReadFileBytes(App().Files().FreqFile), favourites);
}

TEST_F(HistoryTest, BringingARunBack) {
  MakeSeriesTable(Database(), 3);
  ASSERT_TRUE(StartApp());
  Connect();
  RunAt(1, QStringLiteral("select N, NAME\nfrom T"));
  RunAt(2, QStringLiteral("select N from T where N = 2"));
  RunAt(3, QStringLiteral("create table U (A integer)"));
  std::filesystem::remove(CsvOf(2));
  Main().New();

  auto bringBack = [this](int row, bool withResult) {
    OpenLog([row, withResult](TfrmLog& log) {
      EXPECT_EQ(log.focusWidget(), log.grdLog);
      log.grdLog->SetRow(row);
      (withResult ? log.rdoWithResult : log.rdoSqlOnly)->setChecked(true);
      log.btnOk->click();
      EXPECT_TRUE(log.isEnabled());
      EXPECT_TRUE(log.btnOk->isEnabled());
    });
  };
  TSqlGrid& grid = Main().Grid();
  TSqlInfo& info = Main().SqlInfo();

  // The first line of a multi-line statement names the run.
  OpenLog([](TfrmLog& log) { EXPECT_EQ(log.grdLog->Cells(9, 1), "select N, NAME"); });

  {
    SCOPED_TRACE("SQL only");
    bringBack(1, false);
    EXPECT_EQ(Main().edtSql->toPlainText(), QStringLiteral("select N, NAME\nfrom T"));
    EXPECT_FALSE(grid.Enabled());
    EXPECT_EQ(info.ColCount(), 0);
    EXPECT_EQ(Main().StatusMsg(), SJ("履歴情報を取得しました"));
  }
  {
    SCOPED_TRACE("with the result");
    bringBack(1, true);
    ASSERT_EQ(info.ColCount(), 2);
    EXPECT_EQ(info.RowMax(), 3);
    EXPECT_EQ(grid.Cells(1, 0), "N");
    EXPECT_EQ(grid.Cells(2, 3), "name3");
    EXPECT_TRUE(grid.Enabled());
    EXPECT_EQ(Main().focusWidget(), &grid);
  }
  {
    SCOPED_TRACE("result file gone");
    bringBack(2, true);
    ASSERT_EQ(info.ColCount(), 1);
    EXPECT_EQ(grid.Cells(1, 0), "N");
    EXPECT_EQ(info.RowMax(), 0);
    EXPECT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(grid.Cells(1, 1), "");
  }
  {
    SCOPED_TRACE("no query");
    bringBack(3, true);
    EXPECT_EQ(Main().edtSql->toPlainText(), QStringLiteral("create table U (A integer)"));
    EXPECT_EQ(info.ColCount(), 0);
    EXPECT_FALSE(grid.Enabled());
  }
  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_EQ(platform.Cursor(), TCursor::Default);
  EXPECT_FALSE(Main().IsProcessing());
}

TEST_F(HistoryTest, DialogPlacementsAreWrittenAtTheEndAndRestoredAtStartUp) {
  ASSERT_TRUE(StartApp());
  App().LogDialog().setGeometry(QRect(40, 50, 700, 460));
  App().SortDialog().move(12, 34);
  App().DiffDialog().setWindowState(Qt::WindowMaximized);
  app_.reset();

  const std::string bytes = ReadFileBytes(dir.File("quorrel_Opt.xml"));
  TOptionFile saved;
  ASSERT_EQ(ReadOptionFile(dir.File("quorrel_Opt.xml"), saved), "");
  const TWindowBlock& log = saved.Layout.LogForm.Window;
  ASSERT_TRUE(log.State.has_value());
  EXPECT_EQ(*log.State, TWindowState::Normal);
  EXPECT_EQ(log.Left, 40);
  EXPECT_EQ(log.Top, 50);
  EXPECT_EQ(log.Width, 700);
  EXPECT_EQ(log.Height, 460);
  EXPECT_EQ(saved.Layout.SortForm.Window.Left, 12);
  EXPECT_EQ(saved.Layout.SortForm.Window.Top, 34);
  // A maximised window keeps only its state.
  EXPECT_EQ(saved.Layout.DiffForm.Window.State, TWindowState::Maximized);
  EXPECT_FALSE(saved.Layout.DiffForm.Window.Width.has_value());
  EXPECT_NE(bytes.find("\t<LogForm>\r\n\t\t<!--" + SJ("ウィンドウ位置とサイズ") +
                       "-->\r\n\t\t<WindowState>Normal</WindowState>\r\n\t\t<Top>50</Top>\r\n\t\t<Left>40</Left>\r\n"
                       "\t\t<Width>700</Width>\r\n\t\t<Height>460</Height>\r\n\t</LogForm>\r\n"),
            std::string::npos);

  ASSERT_TRUE(StartApp());
  EXPECT_EQ(App().LogDialog().geometry(), QRect(40, 50, 700, 460));
  EXPECT_EQ(App().SortDialog().pos(), QPoint(12, 34));
  EXPECT_TRUE(App().DiffDialog().windowState() & Qt::WindowMaximized);
}

TEST_F(HistoryTest, DialogsNeverShownAreWrittenWhereTheyWillOpen) {
  ASSERT_TRUE(StartApp());
  Connect();
  Main().move(100, 80);
  const QRect main = Main().frameGeometry();
  const QSize sizes[] = {App().LogDialog().frameGeometry().size(), App().DiffDialog().frameGeometry().size(),
                         App().SortDialog().frameGeometry().size()};
  app_.reset();

  TOptionFile saved;
  ASSERT_EQ(ReadOptionFile(dir.File("quorrel_Opt.xml"), saved), "");
  const TWindowBlock* blocks[] = {&saved.Layout.LogForm.Window, &saved.Layout.DiffForm.Window,
                                  &saved.Layout.SortForm.Window};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const TWindowBlock& b = *blocks[i];
    ASSERT_EQ(b.State, TWindowState::Normal);
    ASSERT_TRUE(b.Top && b.Left && b.Width && b.Height);
    // Centred over the main window, as a dialog first opens.
    EXPECT_EQ(*b.Left + sizes[i].width() / 2, main.left() + main.width() / 2) << *b.Left;
    EXPECT_EQ(*b.Top + sizes[i].height() / 2, main.top() + main.height() / 2) << *b.Top;
  }

  // Read back, the dialogs stand where they were written.
  ASSERT_TRUE(StartApp());
  EXPECT_EQ(App().SortDialog().pos(), QPoint(*saved.Layout.SortForm.Window.Left, *saved.Layout.SortForm.Window.Top));
}

TEST_F(HistoryTest, TheWholeCycleSurvivesARestart) {
  MakeSeriesTable(Database(), 4);
  ASSERT_TRUE(StartApp());
  Connect();
  RunAt(1, QStringLiteral("select N, NAME from T"));
  RunAt(2, QStringLiteral("select V from T where N > 2"));
  Main().edtSql->setPlainText(QStringLiteral("select count(*)\nfrom T"));
  Actions().Execute(Actions().actFreqAdd);
  Disconnect();
  app_.reset();

  ASSERT_TRUE(StartApp());
  Connect();
  ASSERT_EQ(Main().lstFreq->count(), 1);
  EXPECT_EQ(Main().lstFreq->item(0)->text(), QStringLiteral("select count(*)"));
  ASSERT_EQ(Log().RunCount(), 2);
  EXPECT_EQ(Log().RunAt(2)->Sql, TStrings{"select V from T where N > 2"});
  EXPECT_EQ(Log().RunAt(2)->RowPos(), 2);

  for (int row : {1, 2}) {
    OpenLog([row](TfrmLog& log) {
      log.grdLog->SetRow(row);
      log.btnOk->click();
    });
  }
  TSqlGrid& grid = Main().Grid();
  EXPECT_EQ(Main().edtSql->toPlainText(), QStringLiteral("select V from T where N > 2"));
  EXPECT_EQ(Main().SqlInfo().RowMax(), 2);
  EXPECT_EQ(grid.Cells(1, 0), "V");
  EXPECT_EQ(grid.Cells(1, 1), "0.75");
  EXPECT_EQ(grid.Cells(1, 2), "1");
  EXPECT_TRUE(platform.Messages.empty());
}

TEST_F(HistoryTest, ConnectRemovesWhatAKilledSessionLeftAndNothingElse) {
  MakeSeriesTable(Database(), 3);
  ASSERT_TRUE(StartApp());
  Connect();
  RunAt(0, QStringLiteral("select N from T"));
  Disconnect();
  // A copy under another name keeps its history in the same folder.
  std::string other = ReadFileBytes(Index());
  const std::string start = "<StartTime>09:05:00</StartTime>";
  ASSERT_NE(other.find(start), std::string::npos);
  other.replace(other.find(start), start.size(), "<StartTime>09:05:07</StartTime>");
  WriteFileBytes(dir.File("abc_Log.xml"), other);
  WriteFileBytes(CsvOf(7), "N,\r\n");

  // What a killed session leaves: a run file no index came to name, and the
  // temporaries of a run file and of the index whose writer is gone.
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  ASSERT_GT(dead, 0);
  waitpid(dead, nullptr, 0);
  const std::string d = std::to_string(dead);
  auto name = [](const std::string& path) { return std::filesystem::path(path).filename().string(); };
  WriteFileBytes(CsvOf(5), "N,\r\n1,\r\n");
  const std::vector<std::string> deadTemps = {dir.File("." + name(CsvOf(9)) + "." + d + ".0.1234abcd.tmp"),
                                              dir.File(".quorrel_Log.xml." + d + ".1.00c0ffee.tmp")};
  const std::vector<std::string> foreign = {
      dir.File("." + name(CsvOf(10)) + "." + std::to_string(getppid()) + ".0.1234abcd.tmp"),  // still writing
      dir.File(".notes.txt." + d + ".0.1234abcd.tmp"), dir.File("notes.csv"), dir.File("20010403_0905.csv"),
      dir.File("report_20010403_090508.csv"), dir.File("20010403_090509.CSV"), dir.File("20010403_090511.csv.bak")};
  for (const std::string& f : deadTemps) WriteFileBytes(f, "half");
  for (const std::string& f : foreign) WriteFileBytes(f, "mine");

  // While the copy runs it may hold runs it has not indexed: only the dead
  // writers' temporaries go.
  {
    TApp copy(platform, MakeFileLocations(dir.File("abc")));
    ASSERT_TRUE(copy.Start());
    Connect();
    for (const std::string& f : deadTemps) EXPECT_FALSE(Exists(f)) << f;
    EXPECT_TRUE(Exists(CsvOf(5)));
    Disconnect();
  }
  Connect();
  EXPECT_FALSE(Exists(CsvOf(5)));
  EXPECT_TRUE(Exists(CsvOf(0)));  // named by this program's index
  EXPECT_TRUE(Exists(CsvOf(7)));  // named by the copy's
  for (const std::string& f : foreign) EXPECT_EQ(ReadFileBytes(f), "mine") << f;
  ASSERT_EQ(Log().RunCount(), 1);

  // An index that cannot be read names files nobody can know: all stay.
  Disconnect();
  WriteFileBytes(CsvOf(5), "N,\r\n1,\r\n");
  WriteFileBytes(dir.File("abc_Log.xml"), "damaged");
  Connect();
  EXPECT_TRUE(Exists(CsvOf(5)));
}

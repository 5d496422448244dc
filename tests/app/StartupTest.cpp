// Start-up, the single instance, the settings round trip and the
// process-wide helpers.

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QScrollBar>
#include <QTextBrowser>
#include <QTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <filesystem>
#include <functional>

#include "AppFixture.h"
#include "app/InstanceLock.h"
#include "app/LoginDialog.h"
#include "app/QtPlatform.h"
#include "views/QtText.h"
#include "core/Sjis.h"
#include "storage/Options.h"
#include "views/CellView.h"

namespace {

TOptionFile ReadBack(const std::string& path) {
  TOptionFile file;
  EXPECT_EQ(ReadOptionFile(path, file), "");
  return file;
}

}  // namespace

TEST_F(AppTest, StartsIntoTheEmptyDisconnectedWindow) {
  TFixedClock clock;
  clock.now = EncodeDateTime(2024, 3, 5, 13, 7, 9);
  ASSERT_TRUE(StartApp());
  EXPECT_EQ(Main().windowTitle(), QStringLiteral("Quorrel"));
  EXPECT_EQ(Panel(0), QString());
  EXPECT_EQ(Panel(1), QString());
  EXPECT_EQ(Panel(3), Q8("0列"));
  EXPECT_EQ(Panel(4), QStringLiteral("2024/03/05"));
  EXPECT_EQ(Panel(5), Q8("始 00:00:00"));
  EXPECT_EQ(Panel(6), Q8("終 00:00:00"));
  EXPECT_EQ(Panel(7), Q8("差 00:00:00"));
  EXPECT_EQ(Panel(8), QString());
  EXPECT_EQ(Main().SqlInfo().RowMax(), 0);
  EXPECT_EQ(Main().SqlInfo().RowCount(), 0);
  EXPECT_FALSE(Main().IsConnected() || Main().IsRunning() || Main().IsProcessing() || Main().IsSelect);
  EXPECT_FALSE(Main().edtSql->isEnabled());
  EXPECT_FALSE(Main().lstFreq->isEnabled());
  EXPECT_FALSE(Main().GridCanFocus());
  EXPECT_EQ(Main().Col, 0);
  EXPECT_EQ(Main().Row, 0);
  // Every window exists once, nothing was asked of the user.
  EXPECT_EQ(App().LogDialog().objectName(), QStringLiteral("frmLog"));
  EXPECT_EQ(App().CellView().objectName(), QStringLiteral("frmCellView"));
  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_TRUE(platform.ModalLog.empty());
  // The design sizes of the fixed parts.
  EXPECT_EQ(Main().pnlToolbar->height(), 47);
  EXPECT_EQ(Main().StatusBar().height(), 19);
  EXPECT_EQ(Main().StatusBar().PanelRect(2).width(), 85);
  // Whatever this desktop's font, the figures stay inside the design width.
  EXPECT_LE(Main().StatusBar().PanelRect(7).right(), 632);
}

TEST_F(AppTest, SecondInstanceIsRefusedWhileARenamedCopyRuns) {
  ASSERT_TRUE(StartApp());
  {
    TApp second(platform, MakeFileLocations(dir.File("quorrel")));
    EXPECT_FALSE(second.Start());
    EXPECT_EQ(platform.LastMessage(), Q8("多重起動はできません。"));
  }
  // The refused instance touched no file.
  EXPECT_EQ(ReadFileBytes(dir.File("quorrel_Opt.xml")), "");

  // Another executable name has its own lock and its own files.
  platform.Messages.clear();
  {
    TApp copy(platform, MakeFileLocations(dir.File("quorrel2")));
    EXPECT_TRUE(copy.Start());
    EXPECT_TRUE(platform.Messages.empty());
  }
  EXPECT_NE(ReadFileBytes(dir.File("quorrel2_Opt.xml")), "");
  EXPECT_EQ(ReadFileBytes(dir.File("quorrel_Opt.xml")), "");

  // The lock goes with the first instance.
  app_.reset();
  EXPECT_NE(ReadFileBytes(dir.File("quorrel_Opt.xml")), "");
  TApp third(platform, MakeFileLocations(dir.File("quorrel")));
  EXPECT_TRUE(third.Start());
}

TEST_F(AppTest, SettingsAreAppliedAtStartAndCollectedAtTheEnd) {
  TOptionFile file;
  file.Options.User = "scott";
  file.Options.Password = "tiger&<";
  file.Options.Connect = "shop.db";
  file.Options.MaxRow = 3;
  TMainFormLayout& main = file.Layout.MainForm;
  main.Window.State = TWindowState::Normal;
  main.Window.Left = 30;
  main.Window.Top = 40;
  main.Window.Width = 700;
  main.Window.Height = 520;
  main.SqlPanelWidth = 280;
  main.OpePanelHeight = 150;
  main.SqlDialog.Path = "/tmp/sql";
  main.SqlDialog.SecondFilter = true;
  file.Layout.LogForm.Window.State = TWindowState::Maximized;
  file.Layout.SortForm.Window.State = TWindowState::Normal;
  file.Layout.SortForm.Window.Left = 5;
  std::string message;
  ASSERT_TRUE(WriteOptionFile(dir.File("quorrel_Opt.xml"), file, message)) << message;

  ASSERT_TRUE(StartApp());
  TfrmLogin& login = App().Login();
  EXPECT_EQ(login.edtUser->text(), QStringLiteral("scott"));
  EXPECT_EQ(login.edtPassword->text(), QStringLiteral("tiger&<"));
  EXPECT_EQ(login.edtHost->text(), QStringLiteral("shop.db"));
  EXPECT_EQ(Main().size(), QSize(700, 520));
  EXPECT_EQ(Main().sptVertical->sizes().value(0), 280);
  EXPECT_EQ(Main().sptHorizon->sizes().value(0), 150);
  // The SQL pair of file dialogs shares the directory and the filter.
  EXPECT_EQ(Actions().OpenSqlDialog.InitialDir, QStringLiteral("/tmp/sql"));
  EXPECT_EQ(Actions().SaveSqlDialog.InitialDir, QStringLiteral("/tmp/sql"));
  EXPECT_EQ(Actions().SaveSqlDialog.FilterIndex, 2);
  EXPECT_EQ(App().Options().MaxRow, 3);

  Main().resize(720, 530);
  Main().sptVertical->setSizes({300, 400});
  Main().SetGridOnly(true);  // hidden panels still report their sizes
  App().Options().Wordwrap = 7;
  app_.reset();

  TOptionFile saved = ReadBack(dir.File("quorrel_Opt.xml"));
  EXPECT_EQ(saved.Options.User, "scott");
  EXPECT_EQ(saved.Options.Password, "tiger&<");
  EXPECT_EQ(saved.Options.Wordwrap, 7);
  EXPECT_EQ(saved.Options.MaxRow, 3);
  const TMainFormLayout& out = saved.Layout.MainForm;
  ASSERT_TRUE(out.Window.State.has_value());
  EXPECT_EQ(*out.Window.State, TWindowState::Normal);
  EXPECT_EQ(out.Window.Width, 720);
  EXPECT_EQ(out.Window.Height, 530);
  EXPECT_EQ(out.SqlPanelWidth, 300);
  EXPECT_EQ(out.OpePanelHeight, 150);
  EXPECT_EQ(out.SqlDialog.Path, "/tmp/sql");
  EXPECT_TRUE(out.SqlDialog.SecondFilter);
  // The dialogs were placed from their blocks and are written as they stand.
  ASSERT_TRUE(saved.Layout.LogForm.Window.State.has_value());
  EXPECT_EQ(*saved.Layout.LogForm.Window.State, TWindowState::Maximized);
  EXPECT_EQ(saved.Layout.SortForm.Window.Left, 5);
}

TEST_F(AppTest, ABadSettingIsReportedAndTheProgramStillStarts) {
  WriteFileBytes(dir.File("quorrel_Opt.xml"),
                 SJ("<?xml version = \"1.0\" encoding = \"Shift_JIS\" ?>\r\n<Option>\r\n\t<Grid>\r\n"
                    "\t\t<FixedRows>\r\n\t\t\t<Wordwrap>abc</Wordwrap>\r\n\t\t</FixedRows>\r\n\t</Grid>\r\n"
                    "</Option>\r\n"));
  ASSERT_TRUE(StartApp());
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_TRUE(platform.LastMessage().contains(QStringLiteral("abc")));
  EXPECT_EQ(App().Options().Wordwrap, 10);
}

TEST_F(AppTest, BusyStateKeepsOneCursorAndAlwaysClearsProcessing) {
  ASSERT_TRUE(StartApp());
  App().BeginBusy(TCursor::HourGlass);
  EXPECT_TRUE(Main().IsProcessing());
  EXPECT_EQ(platform.Cursor(), TCursor::HourGlass);
  App().EndBusy();
  EXPECT_FALSE(Main().IsProcessing());
  EXPECT_EQ(platform.Cursor(), TCursor::Default);

  App().BeginBusy(TCursor::AppStart);
  EXPECT_FALSE(Main().IsProcessing());
  EXPECT_EQ(platform.Cursor(), TCursor::AppStart);
  App().EndBusy();
  EXPECT_EQ(platform.Cursor(), TCursor::Default);

  // One slot, no stack: the second begin saves the first one's cursor.
  App().BeginBusy(TCursor::HourGlass);
  App().BeginBusy(TCursor::AppStart);
  App().EndBusy();
  EXPECT_EQ(platform.Cursor(), TCursor::HourGlass);
  EXPECT_FALSE(Main().IsProcessing());
  App().EndBusy();

  // The processing flag disables the edit controls and lets messages through first.
  const int before = platform.ProcessCount;
  App().BeginBusy(TCursor::HourGlass);
  EXPECT_GT(platform.ProcessCount, before);
  App().EndBusy();
}

TEST_F(AppTest, DialogsAreCentredOnTheMainWindow) {
  ASSERT_TRUE(StartApp());
  Main().move(100, 80);
  Main().resize(700, 500);
  QWidget form;
  form.resize(201, 101);
  App().CenterOnMain(form);
  const QRect main = Main().frameGeometry();
  EXPECT_EQ(form.x(), main.left() + main.width() / 2 - 201 / 2);
  EXPECT_EQ(form.y(), main.top() + main.height() / 2 - 101 / 2);
}

TEST(ListHelpers, DeleteSelectsTheItemNowAtTheIndexOrTheLast) {
  QListWidget list;
  list.addItems({"a", "b", "c"});
  DeleteListItem(list, 2);
  ASSERT_EQ(list.count(), 2);
  EXPECT_EQ(list.currentRow(), 1);
  DeleteListItem(list, 0);
  ASSERT_EQ(list.count(), 1);
  EXPECT_EQ(list.currentRow(), 0);
  EXPECT_EQ(list.item(0)->text(), QStringLiteral("b"));
  DeleteListItem(list, 0);
  EXPECT_EQ(list.count(), 0);
  EXPECT_TRUE(list.selectedItems().isEmpty());
  DeleteListItem(list, 0);  // nothing left: nothing happens
  list.addItems({"x", "y"});
  ClearListItems(list);
  EXPECT_EQ(list.count(), 0);
}

TEST(ProgressBand, IsTheShareOfThePanelAndNeverWiderThanIt) {
  struct Case {
    const char* name;
    int rowMax, rowCount, width, band;
  } cases[] = {
      {"half of 85 truncates", 250, 500, 85, 42},
      {"no rows yet", 0, 500, 85, 0},
      {"no row count", 0, 0, 85, 0},
      {"more rows than announced", 600, 500, 85, 85},
      {"all rows", 500, 500, 85, 85},
      {"a million rows without overflow", 999999, 1000000, 85, 84},
      {"negative count", 10, -5, 85, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ProgressBandWidth(c.rowMax, c.rowCount, c.width), c.band);
  }
}

TEST_F(AppTest, ProgressPanelInvertsExactlyTheBand) {
  ASSERT_TRUE(StartApp());
  TStatusBar& bar = Main().StatusBar();
  const QRect panel = bar.PanelRect(2);
  ASSERT_EQ(panel.width(), 85);
  auto invertedColumns = [&] {
    QImage image = bar.grab().toImage();
    const QRgb plain = image.pixel(panel.right(), panel.top());
    int count = 0;
    for (int x = panel.left(); x <= panel.right(); ++x)
      if (image.pixel(x, panel.top()) != plain) ++count;
    return count;
  };
  EXPECT_EQ(invertedColumns(), 0);
  Main().SqlInfo().SetRowCount(500);
  Main().SqlInfo().SetRowMax(250);
  EXPECT_EQ(invertedColumns(), 42);
  // More rows than announced: the band stops at the panel's edge.
  Main().SqlInfo().SetRowMax(900);
  QImage image = bar.grab().toImage();
  const QRgb inverted = image.pixel(panel.left(), panel.top());
  EXPECT_EQ(image.pixel(panel.right(), panel.top()), inverted);
  EXPECT_NE(image.pixel(panel.right() + 3, panel.top()), inverted);
}

TEST_F(AppTest, CaptionNamesTheFileAndNewForgetsIt) {
  ASSERT_TRUE(StartApp());
  Main().SetPathFile("/home/user/sql/a.sql");
  EXPECT_EQ(Main().windowTitle(), QStringLiteral("Quorrel - /home/user/sql/a.sql"));
  Main().edtSql->setPlainText(QStringLiteral("SELECT 1"));
  Main().New();
  EXPECT_EQ(Main().windowTitle(), QStringLiteral("Quorrel"));
  EXPECT_TRUE(Main().edtSql->toPlainText().isEmpty());
  EXPECT_FALSE(Main().edtSql->document()->isModified());
}

TEST_F(AppTest, MissingSessionObjectEndsTheProgram) {
  ASSERT_TRUE(StartApp("quorrel", [] { return std::unique_ptr<TSession>(); }));
  EXPECT_EQ(platform.LastMessage(), Q8("オラクルオブジェクト作成エラー"));
  EXPECT_TRUE(App().Terminated());
  EXPECT_EQ(App().Run(), 0);  // the loop ends at once
}

TEST_F(AppTest, RunEndsWhenTheMainWindowClosesAndWritesTheSettings) {
  ASSERT_TRUE(StartApp());
  Connect();
  QTimer::singleShot(0, &Main(), [this] { Main().close(); });
  EXPECT_EQ(App().Run(), 0);
  EXPECT_NE(ReadFileBytes(dir.File("quorrel_Opt.xml")), "");
}

TEST(InstanceLock, ExcludesASecondHolderUntilReleased) {
  TTempDir dir;
  std::unique_ptr<TInstanceLock> first, second;
  ASSERT_EQ(TakeInstanceLock(dir.Path(), "quorrel", first), TLockResult::Acquired);
  EXPECT_EQ(TakeInstanceLock(dir.Path(), "quorrel", second), TLockResult::HeldElsewhere);
  EXPECT_EQ(second, nullptr);
  EXPECT_EQ(TakeInstanceLock(dir.Path(), "other", second), TLockResult::Acquired);
  second.reset();
  first.reset();
  EXPECT_EQ(TakeInstanceLock(dir.Path(), "quorrel", first), TLockResult::Acquired);
  // Another instance is seen by its lock; another program's held lock in the
  // same folder (a compositor's wayland-0.lock) is not.
  const std::string foreign = dir.File("wayland-0.lock");
  WriteFileBytes(foreign, "");
  const int held = open(foreign.c_str(), O_RDONLY);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  EXPECT_FALSE(OtherLockHeld(dir.Path(), "quorrel"));
  ASSERT_EQ(TakeInstanceLock(dir.Path(), "abc", second), TLockResult::Acquired);
  EXPECT_TRUE(OtherLockHeld(dir.Path(), "quorrel"));
  EXPECT_TRUE(OtherLockHeld(dir.Path(), "abc"));  // and quorrel from abc
  second.reset();
  EXPECT_FALSE(OtherLockHeld(dir.Path(), "quorrel"));
  close(held);
  // Where no lock can be made the program runs without one.
  std::unique_ptr<TInstanceLock> none;
  EXPECT_EQ(TakeInstanceLock(dir.File("missing"), "quorrel", none), TLockResult::Failed);
  EXPECT_EQ(none, nullptr);
}

namespace {

constexpr uid_t kNobody = 65534;

// Runs body in a child process as the plain user uid (the test runs as root)
// and returns its exit code; each check in body has a code of its own.
int AsUser(uid_t uid, const std::function<int()>& body) {
  const pid_t child = fork();
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(uid) != 0 || setuid(uid) != 0) _exit(100);
    _exit(body());
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// As the user, the lock in the folder it is given: 0 when a first take
// holds it and a second is refused, 1 when the first take fails.
int TakesAndExcludes(const std::string& lockDir) {
  std::unique_ptr<TInstanceLock> first, second;
  if (TakeInstanceLock(lockDir, "quorrel", first) != TLockResult::Acquired) return 1;
  return TakeInstanceLock(lockDir, "quorrel", second) == TLockResult::HeldElsewhere ? 0 : 2;
}

}  // namespace

TEST(InstanceLock, NoOtherUserCanHoldPlantOrSwapTheLock) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as two plain users";
  const passwd* daemon = getpwnam("daemon");
  ASSERT_NE(daemon, nullptr);
  const uid_t other = daemon->pw_uid;
  TTempDir dir;
  chmod(dir.Path().c_str(), 0755);
  // A /tmp of the test's own: everybody may write, the sticky bit set.
  const std::string tmp = dir.File("tmp");
  ASSERT_EQ(mkdir(tmp.c_str(), 0777), 0);
  chmod(tmp.c_str(), 01777);
  const std::string mine = tmp + "/quorrel-" + std::to_string(kNobody);

  // Another user's lock file where the old fallback put it, held by them:
  // without a runtime folder (or with one that anybody may write) the lock
  // is the user's own all the same.
  const std::string planted = tmp + "/quorrel.lock";
  ASSERT_EQ(AsUser(other, [&] { return open(planted.c_str(), O_CREAT | O_RDWR, 0644) >= 0 ? 0 : 1; }), 0);
  int held = open(planted.c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(flock(held, LOCK_EX | LOCK_NB), 0);
  for (const char* runtime : {static_cast<const char*>(nullptr), "", tmp.c_str()}) {
    SCOPED_TRACE(runtime ? runtime : "unset");
    EXPECT_EQ(AsUser(kNobody, [&] { return LockDirFor(runtime, tmp) == mine ? TakesAndExcludes(mine) : 3; }), 0);
    struct stat st {};
    ASSERT_EQ(lstat(mine.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kNobody);
    EXPECT_EQ(st.st_mode & 07777, 0700u);
  }
  close(held);

  // A private runtime folder is used as it is.
  const std::string run = dir.File("run");
  ASSERT_EQ(mkdir(run.c_str(), 0700), 0);
  ASSERT_EQ(chown(run.c_str(), kNobody, kNobody), 0);
  EXPECT_EQ(AsUser(kNobody, [&] { return LockDirFor(run.c_str(), tmp) == run ? TakesAndExcludes(run) : 3; }), 0);

  // A lock file of another user's in the user's folder is not trusted, even
  // one that anybody may write.
  const std::string foreign = run + "/quorrel.lock";
  unlink(foreign.c_str());
  WriteFileBytes(foreign, "");
  ASSERT_EQ(chown(foreign.c_str(), other, other), 0);
  chmod(foreign.c_str(), 0666);
  EXPECT_EQ(AsUser(kNobody, [&] { return TakesAndExcludes(run); }), 1);

  // The fallback folder made, or swapped for a link, by another user.
  std::filesystem::remove_all(mine);
  ASSERT_EQ(AsUser(other, [&] { return mkdir(mine.c_str(), 0777) == 0 && chmod(mine.c_str(), 0777) == 0 ? 0 : 1; }), 0);
  EXPECT_EQ(AsUser(kNobody, [&] { return TakesAndExcludes(LockDirFor(nullptr, tmp)); }), 1);
  EXPECT_FALSE(std::filesystem::exists(mine + "/quorrel.lock"));
  std::filesystem::remove_all(mine);
  ASSERT_EQ(AsUser(other, [&] { return symlink(run.c_str(), mine.c_str()) == 0 ? 0 : 1; }), 0);
  unlink(foreign.c_str());
  EXPECT_EQ(AsUser(kNobody, [&] { return TakesAndExcludes(LockDirFor(nullptr, tmp)); }), 1);
  EXPECT_FALSE(std::filesystem::exists(foreign));
}

TEST_F(AppTest, ALockThatCannotBeMadeIsReportedAndTheProgramStarts) {
  const std::string open = dir.File("open");
  ASSERT_EQ(mkdir(open.c_str(), 0777), 0);
  chmod(open.c_str(), 0777);
  TFakePlatform desktop(open);
  TApp app(desktop, MakeFileLocations(dir.File("quorrel")));
  ASSERT_TRUE(app.Start());
  ASSERT_EQ(desktop.Messages.size(), 1u);
  EXPECT_EQ(desktop.LastMessage(),
            Q8("多重起動確認用のロックファイルを作成できません。\n多重起動の確認をせずに起動します。"));
  EXPECT_FALSE(std::filesystem::exists(open + "/quorrel.lock"));
}

TEST(QtPlatform, HelpViewerOpensTheFileAtItsContents) {
  TTempDir dir;
  WriteFileBytes(dir.File("q.html"),
                 "<html><body><h1>Contents</h1><p>first</p>" + std::string(3000, '\n') +
                     "<h2 id=\"end\">End</h2></body></html>");
  TQtPlatform platform(dir.Path());
  platform.ShowHelp(QString::fromStdString(dir.File("q.html")));
  QTextBrowser* viewer = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == QStringLiteral("HelpViewer")) viewer = qobject_cast<QTextBrowser*>(w);
  ASSERT_NE(viewer, nullptr);
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_TRUE(viewer->toPlainText().contains(QStringLiteral("Contents")));
  viewer->verticalScrollBar()->setValue(viewer->verticalScrollBar()->maximum());
  platform.ShowHelp(QString::fromStdString(dir.File("q.html")));
  EXPECT_EQ(viewer->verticalScrollBar()->value(), 0);
}

TEST_F(AppTest, AnInstalledProgramKeepsWhatItWritesInTheDataDirectory) {
  // Laid out as the package installs it: bin/ beside share/quorrel/.
  ASSERT_EQ(mkdir(dir.File("bin").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.File("share").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.File("share/quorrel").c_str(), 0755), 0);
  ExecSqlite(dir.File("share/quorrel/quorrel.db"), "CREATE TABLE EMP (N INTEGER); INSERT INTO EMP VALUES (7);");
  TLocationEnv env;
  env.ExeDirWritable = false;
  env.XdgDataHome = dir.File("data");
  env.Home = dir.Path();
  app_ = std::make_unique<TApp>(platform, MakeFileLocations(dir.File("bin/quorrel"), env));
  ASSERT_TRUE(app_->Start());
  app_->MessageSliceMs = 0;
  Connect();
  Run(QStringLiteral("SELECT * FROM EMP"));
  EXPECT_EQ(Main().SqlInfo().RowCount(), 1);
  app_.reset();

  EXPECT_TRUE(platform.Messages.empty());
  EXPECT_NE(ReadFileBytes(dir.File("data/quorrel/quorrel_Opt.xml")), "");
  EXPECT_NE(ReadFileBytes(dir.File("data/quorrel/quorrel.db")), "");
  // The history of the run, in its default place.
  EXPECT_NE(ReadFileBytes(dir.File("data/quorrel/quorrel_Log.xml")), "");
  EXPECT_EQ(QDir(QString::fromStdString(dir.File("data/quorrel"))).entryList({QStringLiteral("*.csv")}).size(), 1);
  EXPECT_TRUE(QDir(QString::fromStdString(dir.File("bin"))).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

TEST_F(AppTest, ARenamedCopyStartsWithTheSampleTables) {
  // The build's sample database lies beside the program under its name.
  const std::string sample = ReadFileBytes(QUORREL_BUILD_DIR "/quorrel.db");
  ASSERT_FALSE(sample.empty());
  WriteFileBytes(dir.File("quorrel.db"), sample);
  ASSERT_TRUE(StartApp("abc"));
  Connect();
  Run(QStringLiteral("SELECT * FROM EMP"));
  EXPECT_TRUE(platform.Messages.empty()) << platform.LastMessage().toStdString();
  EXPECT_EQ(Main().SqlInfo().RowCount(), 14);
  // The copy has a database of its own; the sample stays as it was.
  Run(QStringLiteral("DELETE FROM EMP"));
  EXPECT_EQ(ReadFileBytes(dir.File("quorrel.db")), sample);
  EXPECT_NE(ReadFileBytes(dir.File("abc.db")), "");
}

TEST_F(AppTest, StandardDialogsSpeakJapaneseWhileTheProgramRuns) {
  auto cancel = [] { return QDialogButtonBox(QDialogButtonBox::Cancel).button(QDialogButtonBox::Cancel)->text(); };
  // Qt alone speaks English.
  ASSERT_EQ(cancel(), QStringLiteral("Cancel"));
  ASSERT_TRUE(StartApp());
  EXPECT_EQ(cancel(), Q8("キャンセル"));
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), Q8("はい(&Y)"));
  // The file dialog's own texts.
  EXPECT_NE(QCoreApplication::translate("QFileDialog", "&Open"), QStringLiteral("&Open"));
  // Ended, the program leaves Qt as it found it.
  app_.reset();
  EXPECT_EQ(cancel(), QStringLiteral("Cancel"));
}

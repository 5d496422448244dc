// The desktop ending the program: signals to the real executable, and the
// session's end inside a running program.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QTest>
#include <QTimer>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "AppFixture.h"
#include "app/SessionEnd.h"
#include "core/Sjis.h"
#include "storage/Options.h"
#include "support/EngineProbe.h"

namespace {

// Whether pid holds an flock on the file with this inode (/proc/locks), so
// the program has got past its single-instance check.
bool HoldsLock(pid_t pid, ino_t inode) {
  std::ifstream locks("/proc/locks");
  const std::string owner = " " + std::to_string(pid) + " ";
  const std::string file = ":" + std::to_string(inode) + " ";
  for (std::string line; std::getline(locks, line);)
    if (line.find("FLOCK") != std::string::npos && line.find(owner) != std::string::npos &&
        line.find(file) != std::string::npos)
      return true;
  return false;
}

// Starts a copy of the program in dir, offscreen, and returns its pid once it
// holds its lock (0 when it ended before).
pid_t StartProgram(TTempDir& dir) {
  const std::string exe = dir.File("quorrel");
  std::filesystem::copy_file(QUORREL_BUILD_DIR "/quorrel", exe);
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    setenv("XDG_RUNTIME_DIR", dir.Path().c_str(), 1);  // a lock of its own
    execl(exe.c_str(), exe.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::string lock = dir.File("quorrel.lock");
  // A guard against a program that hangs, not a measure of speed.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  while (std::chrono::steady_clock::now() < deadline) {
    struct stat st {};
    if (stat(lock.c_str(), &st) == 0 && HoldsLock(pid, st.st_ino)) return pid;
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return 0;
}

}  // namespace

TEST(SessionEnd, SignalsEndTheProgramAsExitDoes) {
  for (int number : {SIGTERM, SIGHUP, SIGINT}) {
    SCOPED_TRACE(strsignal(number));
    TTempDir dir;
    // A setting of the user's that must come back, beside the window's
    // layout that only the end of the program writes.
    TOptionFile before;
    before.Options.User = "scott";
    std::string message;
    ASSERT_TRUE(WriteOptionFile(dir.File("quorrel_Opt.xml"), before, message)) << message;

    const pid_t pid = StartProgram(dir);
    ASSERT_GT(pid, 0) << "the program did not start";
    ASSERT_EQ(kill(pid, number), 0);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    if (WIFEXITED(status)) {
      EXPECT_EQ(WEXITSTATUS(status), 0);
    }

    TOptionFile after;
    EXPECT_EQ(ReadOptionFile(dir.File("quorrel_Opt.xml"), after), "");
    EXPECT_EQ(after.Options.User, "scott");
    EXPECT_TRUE(after.Layout.MainForm.Window.State.has_value());
  }
}

// The session manager asks while the user is connecting: the login dialog
// goes, the connect command finishes, then the window closes and disconnects.
TEST_F(AppTest, SessionEndWaitsForDialogsAndBusyWork) {
  ASSERT_TRUE(StartApp());
  Connect();
  {
    TSessionEnd end(App());
    int result = -1;
    {
      TBusy busy(App(), TCursor::HourGlass);
      QDialog dialog(&Main());
      QTimer::singleShot(0, &dialog, [&] { end.RequestClose(); });
      result = dialog.exec();
      QTest::qWait(200);
      EXPECT_FALSE(Main().IsClosed());
      EXPECT_TRUE(Main().IsConnected());
    }
    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(QTest::qWaitFor([this] { return Main().IsClosed(); }, 60000));
    EXPECT_FALSE(Main().IsConnected());
    EXPECT_EQ(Main().StatusMsg(), SJ("接続を切断しました"));
    end.RequestClose();  // once closed, nothing more happens
  }
  app_.reset();
  EXPECT_NE(ReadFileBytes(dir.File("quorrel_Opt.xml")), "");
}

// The user's own close during busy work that lets messages through (a
// logon, the catalogue's reading) waits for the work's end instead of
// disconnecting under it, then closes as 終了 does.
TEST_F(AppTest, ACloseDuringBusyWorkFollowsItsEnd) {
  ASSERT_TRUE(StartApp());
  Connect();
  {
    TBusy busy(App(), TCursor::HourGlass);
    Main().close();
    EXPECT_FALSE(Main().IsClosed());
    EXPECT_TRUE(Main().IsConnected());
    EXPECT_TRUE(Main().ClosePending());
  }
  EXPECT_TRUE(QTest::qWaitFor([this] { return Main().IsClosed(); }, 60000));
  EXPECT_FALSE(Main().IsConnected());
  EXPECT_EQ(Main().StatusMsg(), SJ("接続を切断しました"));
}

namespace {

constexpr const char* kChildDir = "QUORREL_LONG_RUN_CHILD";

// The long statement of the child below: some minutes of work for SQLite.
const char* const kLongInsert =
    "INSERT INTO T (N) WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 2000000000) "
    "SELECT n FROM s";

}  // namespace

// The child of the next test: the program, catching the signals as the real
// one does, connected and running a long change. It says when the run is
// under way by making a file.
TEST_F(AppTest, LongRunChild) {
  const char* parentDir = std::getenv(kChildDir);
  if (!parentDir) GTEST_SKIP() << "run by SignalDuringALongStatement";
  MakeSeriesTable(Database(), 3);
  ASSERT_TRUE(StartApp());
  TSessionEnd end(App());
  ASSERT_TRUE(end.CatchSignals());
  Connect();
  Main().edtSql->setPlainText(QStringLiteral("SELECT * FROM T"));
  Actions().Execute(Actions().actFreqAdd);
  QTimer::singleShot(200, &Main(), [&] { std::ofstream(std::string(parentDir) + "/running") << "1"; });
  Run(QString::fromUtf8(kLongInsert));
  EXPECT_TRUE(Main().IsClosed());
  app_.reset();
  // What the parent looks at.
  for (const char* file : {"quorrel_Opt.xml", "quorrel_Frq.xml", "quorrel_Log.xml"})
    std::filesystem::copy_file(dir.File(file), std::string(parentDir) + "/" + file);
}

// Starts this test program as the child named by filter, in dir, waits
// until the child has made dir/running, and sends it SIGTERM. The child's
// exit status, or -1 (with a failure) when it did not end as asked; seconds
// is the time from the signal to the end.
int SignalChild(const char* filter, TTempDir& dir, double& seconds) {
  const pid_t pid = fork();
  if (pid == 0) {
    setenv(kChildDir, dir.Path().c_str(), 1);
    execl("/proc/self/exe", "child", (std::string("--gtest_filter=") + filter).c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  EXPECT_GT(pid, 0);
  if (pid <= 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  int status = 0;
  while (!std::filesystem::exists(dir.File("running")) && std::chrono::steady_clock::now() < deadline) {
    if (waitpid(pid, &status, WNOHANG) == pid) {
      ADD_FAILURE() << "the child ended before it was ready";
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const auto signalled = std::chrono::steady_clock::now();
  EXPECT_EQ(kill(pid, SIGTERM), 0);
  pid_t ended = 0;
  while ((ended = waitpid(pid, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() - signalled < std::chrono::seconds(20))
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  if (ended == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ADD_FAILURE() << "the program did not end after SIGTERM";
    return -1;
  }
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count();
  EXPECT_TRUE(WIFEXITED(status)) << "ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// SIGTERM while a statement runs stops it and ends the program as 終了 does,
// within two seconds, with the favourites, the history and the settings
// written; the interrupted change leaves nothing behind.
TEST(SessionEnd, SignalDuringALongStatement) {
  TTempDir dir;
  double seconds = 0;
  ASSERT_EQ(SignalChild("AppTest.LongRunChild", dir, seconds), 0);
  EXPECT_LT(seconds, 2.0);
  EXPECT_NE(ReadFileBytes(dir.File("quorrel_Frq.xml")).find("SELECT * FROM T"), std::string::npos);
  EXPECT_NE(ReadFileBytes(dir.File("quorrel_Log.xml")).find(SJ("中断")), std::string::npos);
  TOptionFile after;
  EXPECT_EQ(ReadOptionFile(dir.File("quorrel_Opt.xml"), after), "");
  EXPECT_TRUE(after.Layout.MainForm.Window.State.has_value());
}

// The child of the next test: the program, catching the signals, connected
// in manual mode with a change pending. It says when it is ready by making
// a file, and leaves its database and files to the parent.
TEST_F(AppTest, PendingChangeChild) {
  const char* parentDir = std::getenv(kChildDir);
  if (!parentDir) GTEST_SKIP() << "run by SignalWithAPendingChange";
  MakeSeriesTable(Database(), 3);
  ASSERT_TRUE(StartApp());
  TSessionEnd end(App());
  ASSERT_TRUE(end.CatchSignals());
  Connect();
  Actions().Execute(Actions().actAutoCommit);
  Run(QStringLiteral("UPDATE T SET N = N + 10"));
  ASSERT_TRUE(Main().UncommittedShown());
  std::ofstream(std::string(parentDir) + "/running") << "1";
  ASSERT_TRUE(QTest::qWaitFor([this] { return Main().IsClosed(); }, 60000));
  EXPECT_TRUE(platform.Questions.empty());
  app_.reset();
  for (const char* file : {"quorrel_Opt.xml", "quorrel_Log.xml"})
    std::filesystem::copy_file(dir.File(file), std::string(parentDir) + "/" + file);
  std::filesystem::copy_file(Database(), std::string(parentDir) + "/quorrel.db");
}

// SIGTERM with a change pending asks nothing: the change is rolled back,
// the history says so, and every file is written.
TEST(SessionEnd, SignalWithAPendingChange) {
  TTempDir dir;
  double seconds = 0;
  ASSERT_EQ(SignalChild("AppTest.PendingChangeChild", dir, seconds), 0);
  const std::string log = ReadFileBytes(dir.File("quorrel_Log.xml"));
  EXPECT_NE(log.find("UPDATE T SET N = N + 10"), std::string::npos);
  EXPECT_NE(log.find("ROLLBACK"), std::string::npos);
  TOptionFile after;
  EXPECT_EQ(ReadOptionFile(dir.File("quorrel_Opt.xml"), after), "");
  EXPECT_FALSE(after.Options.AutoCommit);
  EXPECT_TRUE(after.Layout.MainForm.Window.State.has_value());
  TEngineProbe probe;
  ASSERT_TRUE(probe.engine.CreateSession());
  ASSERT_TRUE(probe.engine.Logon("", "", dir.File("quorrel.db"))) << probe.ErrUtf8();
  ASSERT_TRUE(probe.engine.OpenQuery("SELECT sum(N) FROM T")) << probe.ErrUtf8();
  ASSERT_EQ(probe.FetchAll(), 1);
  EXPECT_EQ(probe.Cell(1, 1), "6") << "the pending change was kept";
}

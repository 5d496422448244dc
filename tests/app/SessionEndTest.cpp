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

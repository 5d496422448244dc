// The desktop's password store through qtkeychain: a real Secret Service (a
// private session bus with gnome-keyring on it) keeps, replaces, gives back
// and forgets a password; without one nothing is kept anywhere.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QEventLoop>
#include <QTest>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "AppFixture.h"
#include "app/QtKeyring.h"

namespace {

// Sets an environment variable for its life, then puts the old value back.
class TScopedEnv {
 public:
  TScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~TScopedEnv() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// A session bus of this test's own, with an unlocked gnome-keyring on it.
class TPrivateKeyring {
 public:
  explicit TPrivateKeyring(const TTempDir& dir) {
    if (std::system("command -v dbus-daemon >/dev/null && command -v gnome-keyring-daemon >/dev/null") != 0) {
      why_ = "dbus-daemon or gnome-keyring-daemon is not installed";
      return;
    }
    FILE* out = popen("setsid dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
    char address[512] = {}, pid[32] = {};
    if (!out || !std::fgets(address, sizeof address, out) || !std::fgets(pid, sizeof pid, out)) {
      if (out) pclose(out);
      why_ = "the session bus did not start";
      return;
    }
    pclose(out);
    address_ = std::string(address, std::strcspn(address, "\n"));
    busPid_ = std::atoi(pid);
    // The daemon keeps its keyrings under the data folder and unlocks the
    // login keyring with the password on its input. Both run in sessions of
    // their own: what they signal at their end never reaches this process.
    const std::string command = "cd " + dir.Path() + " && printf pw | env HOME=" + dir.Path() +
                                " XDG_DATA_HOME=" + dir.File("data") + " XDG_RUNTIME_DIR=" + dir.Path() +
                                " DBUS_SESSION_BUS_ADDRESS='" + address_ +
                                "' setsid gnome-keyring-daemon --unlock --components=secrets --daemonize >/dev/null";
    if (std::system(command.c_str()) != 0) why_ = "gnome-keyring-daemon did not start";
  }
  // The keyring daemon ends with its bus.
  ~TPrivateKeyring() {
    if (busPid_ > 0) kill(busPid_, SIGTERM);
  }
  const std::string& Why() const { return why_; }
  const std::string& Address() const { return address_; }

 private:
  std::string why_, address_;
  pid_t busPid_ = 0;
};

// What a read of key answers, waiting for it.
std::optional<QString> ReadBack(TKeyring& keyring, const QString& key) {
  std::optional<QString> got;
  bool answered = false;
  QObject context;
  keyring.Read(key, &context, [&](std::optional<QString> password) {
    got = std::move(password);
    answered = true;
  });
  EXPECT_TRUE(QTest::qWaitFor([&] { return answered; }, 20000)) << "no answer";
  return got;
}

constexpr const char* kChildBus = "QUORREL_KEYRING_CHILD_BUS";

// The child of the next test, on the bus it names: GLib ends a process
// whose session bus goes away, so only a child talks to the private one.
TEST(QtKeyring, StoreChild) {
  const char* address = std::getenv(kChildBus);
  if (!address) GTEST_SKIP() << "run by KeepsReplacesAndForgetsAPasswordOnlyWhereAStoreRuns";
  const QString key = KeyringKey("scott", "db.example");
  {
    TQtKeyring keyring(QStringLiteral("quorrel_test"));
    keyring.Write(key, QStringLiteral("tiger"));
  }  // the end waits for the write
  TQtKeyring keyring(QStringLiteral("quorrel_test"));
  EXPECT_EQ(ReadBack(keyring, key), QStringLiteral("tiger"));
  keyring.Write(key, QStringLiteral("パスワード"));
  EXPECT_EQ(ReadBack(keyring, key), QStringLiteral("パスワード"));
  EXPECT_EQ(ReadBack(keyring, KeyringKey("scott", "other.example")), std::nullopt);
  keyring.Remove(key);
  EXPECT_EQ(ReadBack(keyring, key), std::nullopt);
}

TEST(QtKeyring, KeepsReplacesAndForgetsAPasswordOnlyWhereAStoreRuns) {
  TTempDir dir;
  TScopedEnv home("HOME", dir.Path());
  TScopedEnv config("XDG_CONFIG_HOME", dir.File("config"));
  {
    // No Secret Service: nothing is kept, and nothing written in its place.
    TScopedEnv bus("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + dir.File("no-bus"));
    TQtKeyring keyring(QStringLiteral("quorrel_test"));
    const QString key = KeyringKey("scott", "db.example");
    keyring.Write(key, QStringLiteral("tiger"));
    EXPECT_EQ(ReadBack(keyring, key), std::nullopt);
  }

  TPrivateKeyring store(dir);
  if (!store.Why().empty()) {
    if (std::getenv("CI")) ADD_FAILURE() << store.Why();
    GTEST_SKIP() << store.Why();
  }
  const pid_t pid = fork();
  if (pid == 0) {
    setenv(kChildBus, store.Address().c_str(), 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", store.Address().c_str(), 1);
    execl("/proc/self/exe", "child", "--gtest_filter=QtKeyring.StoreChild", static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "the child ended by signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the child's checks failed (its output is above)";
  EXPECT_FALSE(std::filesystem::exists(dir.File("config")));
}

}  // namespace

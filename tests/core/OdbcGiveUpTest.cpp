// ODBC statements and logons that the user stops or gives up: each query runs
// once whatever the row limit, a stop reaches every driver call, and giving up
// one connection leaves every other connection to close as it should.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ServerEnv.h"
#include "core/Catalog.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

// A port that takes connections and never says a word: the kernel accepts
// them into the backlog, nobody reads them. Closing it resets them.
class TSilentServer {
 public:
  TSilentServer() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd_, 8) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return;
    port_ = ntohs(a.sin_port);
  }
  ~TSilentServer() { Close(); }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  int Port() const { return port_; }
  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A port whose first connection is passed on to the server at `port`, and
// whose later ones (a cancel request's) are taken and not answered for 3 s.
class TCancelSwallower {
 public:
  explicit TCancelSwallower(int port) {
    if (listen_.Port() == 0) return;
    thread_ = std::thread([this, port] { Serve(port); });
  }
  ~TCancelSwallower() {
    quit_ = true;
    if (thread_.joinable()) thread_.join();
  }
  int Port() const { return listen_.Port(); }
  int Swallowed() const { return swallowed_; }

 private:
  static int Dial(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return fd;
    if (fd >= 0) close(fd);
    return -1;
  }
  void Serve(int port) {
    int client = -1, upstream = -1;
    std::vector<std::pair<int, Clock::time_point>> silent;
    while (!quit_) {
      for (auto& [fd, until] : silent)
        if (fd >= 0 && Clock::now() >= until) close(std::exchange(fd, -1));
      std::vector<pollfd> fds{{listen_.Fd(), POLLIN, 0}};
      if (client >= 0) fds.push_back({client, POLLIN, 0}), fds.push_back({upstream, POLLIN, 0});
      if (poll(fds.data(), fds.size(), 20) <= 0) continue;
      if (fds[0].revents & POLLIN) {
        const int fd = accept(listen_.Fd(), nullptr, nullptr);
        if (fd >= 0 && client < 0 && (upstream = Dial(port)) >= 0) {
          client = fd;
        } else if (fd >= 0) {
          silent.emplace_back(fd, Clock::now() + std::chrono::seconds(3));
          ++swallowed_;
        }
      }
      for (size_t i = 1; i < fds.size(); ++i) {
        if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        char buffer[65536];
        const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
        if (n <= 0 || write(fds[i].fd == client ? upstream : client, buffer, static_cast<size_t>(n)) != n) {
          quit_ = true;
          break;
        }
      }
    }
    for (auto& [fd, until] : silent)
      if (fd >= 0) close(fd);
    if (client >= 0) close(client);
    if (upstream >= 0) close(upstream);
  }

  TSilentServer listen_;
  std::thread thread_;
  std::atomic<bool> quit_{false};
  std::atomic<int> swallowed_{0};
};

// A busy handler that answers `late` once `after` has passed, and counts its calls.
struct TStopper {
  TBusyAnswer late = false;
  std::chrono::milliseconds after{200};
  int calls = 0;
  Clock::time_point due{};
  TDatabase::TBusyHandler Handler() {
    return [this]() -> TBusyAnswer {
      ++calls;
      if (due == Clock::time_point{}) due = Clock::now() + after;
      return Clock::now() < due ? TBusyAnswer(true) : late;
    };
  }
};

class OdbcGiveUp : public TServerSessionTest {
 protected:
  std::string MissingDrivers() override { return PrepareOdbc(server); }
  bool LogonPg() { return engine.Logon(TPgServer::User(), TPgServer::Password(), kOdbcPgDsn); }
  std::string Scalar(const std::string& sql) {
    cells.clear();
    if (!engine.OpenQuery(sql) || FetchAll() != 1) return "<failed: " + Text() + ">";
    return Cell(1, 1);
  }
  // Whether the server sees no session of the test user, waiting a while for
  // sessions that are on their way out.
  bool NoUserSessions() {
    for (int i = 0; i < 100; ++i) {
      if (server->Admin("SELECT 1 / CASE WHEN count(*) = 0 THEN 1 ELSE 0 END FROM pg_stat_activity "
                        "WHERE usename = 'quser'"))
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
};

// A logon to a server that never answers is given up at once by a stop, and
// at once by a give-up, on every driver; what the driver does afterwards on
// its own touches nothing of the session's. Giving one connection up leaves
// every other connection to close as it should.
TEST_F(OdbcGiveUp, StoppedLogonsAreGivenUpAtOnce) {
  struct TCase {
    const char* name;
    std::string missing;
    std::string host;  // %PORT% stands for the silent port
    TBusyAnswer answer;
  };
  const std::string maria = MissingMariaDriver();
  const std::string pgHost = "odbc:DRIVER=QuorrelPostgreSQL;Servername=127.0.0.1;Port=%PORT%;Database=x";
  const std::string mariaHost = "odbc:DRIVER=" + std::string(kOdbcMariaDriver) + ";SERVER=127.0.0.1;PORT=%PORT%";
  const TCase cases[] = {
      {"psqlODBC, stop", "", pgHost, false},
      {"psqlODBC, give up", "", pgHost, TBusyAnswer::Abandon()},
      {"MariaDB, stop", maria, mariaHost, false},
      {"MariaDB, give up", maria, mariaHost, TBusyAnswer::Abandon()},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.missing.empty()) continue;
    TSilentServer silent;
    ASSERT_GT(silent.Port(), 0);
    std::string host = c.host;
    host.replace(host.find("%PORT%"), 6, std::to_string(silent.Port()));
    TStopper stopper{c.answer};
    engine.WhileBusy = stopper.Handler();
    const auto start = Clock::now();
    EXPECT_FALSE(engine.Logon("u", "p", host));
    EXPECT_LT(SecondsSince(start), 2.0);  // the login timeout is 10 s
    EXPECT_GT(stopper.calls, 5);
    EXPECT_NE(engine.ErrCode, 0);
    EXPECT_NE(engine.ErrCode, -1);
    EXPECT_FALSE(engine.ErrText.empty());
    engine.WhileBusy = nullptr;
    // The driver's call now fails on its own, on a connection nobody waits for.
    silent.Close();
  }

  ASSERT_TRUE(LogonPg()) << Text();
  EXPECT_EQ(Scalar("SELECT 42"), "42");
  ASSERT_TRUE(engine.CreateSession());
  EXPECT_TRUE(NoUserSessions()) << "a connection was left open";
}

// A connection whose server stops answering: a stop reaches the driver's
// catalogue calls as it reaches a statement, and giving the connection up
// ends the wait.
TEST_F(OdbcGiveUp, AGiveUpReachesTheCatalogue) {
  ASSERT_TRUE(LogonPg()) << Text();
  const std::string pid = Scalar("SELECT pg_backend_pid()");
  ASSERT_GT(std::atoi(pid.c_str()), 0) << pid;
  const pid_t backend = static_cast<pid_t>(std::atoi(pid.c_str()));
  if (kill(backend, SIGSTOP) != 0) GTEST_SKIP() << "cannot pause the server process";
  // Whatever happens, the server goes on after a while.
  std::atomic<bool> resumed{false};
  std::thread resume([&] {
    for (int i = 0; i < 100 && !resumed; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    kill(backend, SIGCONT);
  });
  TStopper stopper{TBusyAnswer::Abandon()};
  engine.Database()->SetBusyHandler(stopper.Handler());
  const auto start = Clock::now();
  TCatalog catalog;
  bool failed = false;
  try {
    engine.Database()->NativeCatalog(catalog);
  } catch (const TSessionError&) {
    failed = true;
  }
  const double seconds = SecondsSince(start);
  resumed = true;
  resume.join();
  EXPECT_TRUE(failed);
  EXPECT_GT(stopper.calls, 5);
  EXPECT_LT(seconds, 4.0);
  // The next statement connects again and says so, without running on the
  // new session; the one after runs.
  EXPECT_FALSE(engine.ExecSql("CREATE TABLE later (n INTEGER)"));
  EXPECT_NE(Text().find("再接続しました"), std::string::npos) << Text();
  EXPECT_EQ(Scalar("SELECT count(*) FROM pg_tables WHERE tablename = 'later'"), "0");
}

// A cancel request that the server never takes holds nobody: the busy
// handler keeps its pace while the request hangs, and a give-up ends the
// statement's wait as it would without the request.
TEST_F(OdbcGiveUp, ACancelThatHangsHoldsNobody) {
  auto swallower = std::make_unique<TCancelSwallower>(server->Port());
  ASSERT_GT(swallower->Port(), 0);
  ASSERT_TRUE(engine.Logon(TPgServer::User(), TPgServer::Password(),
                           "odbc:DRIVER=QuorrelPostgreSQL;Servername=127.0.0.1;Port=" +
                               std::to_string(swallower->Port()) + ";Database=" + TPgServer::Database()))
      << Text();
  TStopper stopper{TBusyAnswer::Abandon()};
  engine.WhileBusy = stopper.Handler();
  const auto start = Clock::now();
  EXPECT_FALSE(engine.ExecSql("SELECT pg_sleep(2)"));
  const double seconds = SecondsSince(start);
  engine.WhileBusy = nullptr;
  EXPECT_GE(swallower->Swallowed(), 1) << "no cancel request was sent";
  // From the stop at 0.2 s to the give-up a second later, every 10 ms.
  EXPECT_GT(stopper.calls, 60);
  EXPECT_LT(seconds, 3.0);
  // Closing every connection of the port ends the cancel and the statement
  // left running at once; the worker then lets the connection go, which
  // nobody waits for, so the process is given a moment before it ends.
  ASSERT_TRUE(engine.CreateSession());
  swallower.reset();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

struct TOdbcLogin {
  std::string User, Password, Host;
};

// The servers of the cases below, through their ODBC drivers.
struct TRunOnceParam {
  std::string Name;
  std::function<std::string()> Unavailable;
  std::function<TOdbcLogin()> Fresh;
  std::function<std::string(int n)> Series;  // rows n, numbered 1..n
  std::string NextCall;                      // takes the next number of sequence calls
  // A query whose row 500 of 1000 fails; empty where the server cannot fail mid-way.
  std::string FailsAt500 = {};
};

void PrintTo(const TRunOnceParam& p, std::ostream* os) { *os << p.Name; }

class OdbcRunsOnce : public testing::TestWithParam<TRunOnceParam>, protected TEngineProbe {
 protected:
  void SetUp() override {
    if (std::string why = GetParam().Unavailable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(engine.CreateSession());
    login = GetParam().Fresh();
    ASSERT_TRUE(engine.Logon(login.User, login.Password, login.Host)) << ErrUtf8();
  }
  void Exec(const std::string& sql) { ASSERT_TRUE(engine.ExecSql(sql)) << sql << ": " << ErrUtf8(); }
  std::string Scalar(const std::string& sql) {
    cells.clear();
    engine.MaxRow = [] { return 1000; };
    if (!engine.OpenQuery(sql) || FetchAll() != 1) return "<failed: " + ErrUtf8() + ">";
    return Cell(1, 1);
  }
  TOdbcLogin login;
};

// Past the row limit the rows are counted from the very execution that gave
// the rows shown: every row's select list is worked out once, a batch's
// other statements run once, and a failure past the limit runs nothing again.
TEST_P(OdbcRunsOnce, AQueryRunsOnceWhateverTheRowLimit) {
  const TRunOnceParam& p = GetParam();
  Exec("CREATE SEQUENCE calls");
  Exec("CREATE TABLE log (n INTEGER)");
  engine.MaxRow = [] { return 100; };
  const std::string series = p.Series(1000);
  ASSERT_TRUE(engine.OpenQuery("SELECT n, " + p.NextCall + " FROM (" + series + ") s")) << ErrUtf8();
  EXPECT_EQ(info.RowCount(), 1000);
  EXPECT_EQ(FetchAll(), 100);
  EXPECT_EQ(Cell(1, 100), "100");
  EXPECT_EQ(Scalar("SELECT " + p.NextCall), "1001");

  // The driver may refuse the batch or run it; never twice.
  engine.MaxRow = [] { return 100; };
  if (engine.OpenQuery(series + "; INSERT INTO log VALUES (7)")) FetchAll();
  const std::string logged = Scalar("SELECT COUNT(*) FROM log");
  EXPECT_TRUE(logged == "0" || logged == "1") << logged;

  if (p.FailsAt500.empty()) return;
  for (const int limit : {100, 1000}) {
    SCOPED_TRACE(limit);
    Exec("DROP SEQUENCE calls");
    Exec("CREATE SEQUENCE calls");
    engine.MaxRow = [limit] { return limit; };
    if (engine.OpenQuery(p.FailsAt500)) {
      EXPECT_GT(FetchAll(), 0);
      EXPECT_LT(info.RowCount(), 500) << "counted by another execution";
      EXPECT_NE(engine.ErrCode, 0) << "the failure is told after the rows before it";
    }
    EXPECT_NE(ErrUtf8().find("division by zero"), std::string::npos) << ErrUtf8();
    const std::string calls = Scalar("SELECT " + p.NextCall);
    EXPECT_LE(std::atoi(calls.c_str()), 501) << calls;
  }
}

std::string PgUnavailable() {
  std::string why;
  TPgServer* server = TestServer(&why);
  if (std::string missing = PrepareOdbc(server); !missing.empty()) return missing;
  return server ? "" : why;
}

std::string MariaUnavailable() {
  std::string why;
  TMariaServer* server = TestMariaServer(&why);
  if (std::string missing = MissingMariaDriver(); !missing.empty()) return missing;
  return server ? "" : why;
}

TRunOnceParam PsqlOdbc() {
  return {"PsqlOdbc", PgUnavailable,
          [] {
            ResetTestDatabase(*TestServer(nullptr));
            return TOdbcLogin{TPgServer::User(), TPgServer::Password(), kOdbcPgDsn};
          },
          [](int n) { return "SELECT n FROM generate_series(1, " + std::to_string(n) + ") AS g(n)"; },
          "nextval('calls')",
          "SELECT n, 10 / (n - 500) FROM generate_series(1, 1000) AS g(n) WHERE nextval('calls') > 0"};
}

TRunOnceParam MariaOdbc() {
  return {"MariaDbOdbc", MariaUnavailable,
          [] {
            TMariaServer* server = TestMariaServer(nullptr);
            if (!server->Reset()) ADD_FAILURE() << server->Error();
            return TOdbcLogin{TMariaServer::User(), TMariaServer::Password(), MariaOdbcHost(*server)};
          },
          [](int n) { return "SELECT seq AS n FROM seq_1_to_" + std::to_string(n); }, "NEXTVAL(calls)"};
}

INSTANTIATE_TEST_SUITE_P(Drivers, OdbcRunsOnce, testing::Values(PsqlOdbc(), MariaOdbc()),
                         [](const testing::TestParamInfo<TRunOnceParam>& info) { return info.param.Name; });

}  // namespace

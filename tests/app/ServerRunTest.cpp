// Stopping statements through the real window on every backend: while a
// slow query opens, while a change runs and while a lock held by another
// connection is waited for. The window handles a timer all the while, the
// stop command ends the run soon after, and the next run works on the same
// connection.

#include <QTest>
#include <QTimer>
#include <signal.h>

#include "views/SqlGrid.h"

#include <atomic>
#include <thread>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>

#include "AppFixture.h"
#include "Completing.h"
#include "WindowHosts.h"
#include "core/Sjis.h"
#include "support/EngineProbe.h"
#include "../core/ServerEnv.h"

namespace {

struct TWindowBackend {
  std::string Name;
  // The host string (with the login in it), or empty with the reason in *why.
  std::function<std::string(TTempDir& dir, std::string* why)> Host;
  std::string SlowQuery, SlowChange;
  std::vector<std::string> HoldLock;
};

void PrintTo(const TWindowBackend& b, std::ostream* os) { *os << b.Name; }

std::string SqliteSeries(long long n) {
  return "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < " + std::to_string(n) +
         ") SELECT n FROM s";
}

TWindowBackend Sqlite() {
  return {"Sqlite", [](TTempDir& dir, std::string*) { return dir.File("shared.db"); },
          "SELECT count(*) FROM (" + SqliteSeries(2000000000) + ")", "INSERT INTO T " + SqliteSeries(2000000000),
          {"BEGIN EXCLUSIVE"}};
}

TWindowBackend Postgres(const char* name, std::function<std::string(TTempDir&, std::string*)> host) {
  return {name, std::move(host), "SELECT pg_sleep(30)",
          "INSERT INTO T SELECT n FROM generate_series(1, 500000000) AS s(n)",
          {"BEGIN", "LOCK TABLE T IN ACCESS EXCLUSIVE MODE"}};
}

class WindowStop : public AppTest, public testing::WithParamInterface<TWindowBackend> {
 protected:
  void SetUp() override {
    std::string why;
    host_ = GetParam().Host(dir, &why);
    if (host_.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(StartApp());
    Connect(QString::fromStdString(host_));
    ASSERT_TRUE(Main().IsConnected()) << platform.Messages.size();
  }

  // Runs sql, pressing 停止 300 ms in; the window's timer ticks meanwhile.
  void RunAndStop(const std::string& sql) {
    SCOPED_TRACE(sql);
    using Clock = std::chrono::steady_clock;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &Main(), [&] { ++ticks; });
    ticker.start(20);
    Clock::time_point stopped{};
    QTimer::singleShot(300, &Main(), [&] {
      stopped = Clock::now();
      EXPECT_TRUE(Actions().actStop->isEnabled());
      Actions().Execute(Actions().actStop);
    });
    Run(QString::fromStdString(sql));
    ASSERT_NE(stopped, Clock::time_point{}) << "the run ended before the stop";
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - stopped).count();
    EXPECT_LT(ms, 2000);
    EXPECT_GE(ticks, 10);
    EXPECT_EQ(Main().SqlInfo().Status(), SJ("中断"));
    EXPECT_EQ(Main().StatusMsg(), SJ("強制終了しました"));
    EXPECT_EQ(Main().SqlInfo().RowCount(), 0);
    EXPECT_TRUE(platform.Messages.empty());
    EXPECT_FALSE(Main().IsRunning());
  }

  std::string host_;
};

TEST_P(WindowStop, EveryStatementStopsAndTheNextRunWorks) {
  Run(QStringLiteral("CREATE TABLE T (N INTEGER)"));
  Run(QStringLiteral("INSERT INTO T VALUES (1)"));
  ASSERT_EQ(Main().SqlInfo().Status(), SJ("完了"));

  RunAndStop(GetParam().SlowQuery);
  RunAndStop(GetParam().SlowChange);
  {
    TEngineProbe holder;
    ASSERT_TRUE(holder.engine.CreateSession());
    ASSERT_TRUE(holder.engine.Logon("", "", host_)) << holder.ErrUtf8();
    for (const std::string& sql : GetParam().HoldLock) ASSERT_TRUE(holder.engine.ExecSql(SJ(sql))) << holder.ErrUtf8();
    RunAndStop("UPDATE T SET N = 2");
    ASSERT_TRUE(holder.engine.ExecSql("ROLLBACK"));
  }
  Run(QStringLiteral("SELECT N FROM T"));
  EXPECT_EQ(Main().SqlInfo().Status(), SJ("完了"));
  EXPECT_EQ(Main().SqlInfo().RowCount(), 1);
  EXPECT_EQ(Main().StatusMsg(), SJ("ＳＱＬ処理終了"));
}

// A server that stops answering in the middle of a statement: closing the
// window still ends the program soon, the connection given up and the files
// written.
class WindowStall : public AppTest {};

TEST_F(WindowStall, ClosingWhileTheServerStallsGivesTheConnectionUp) {
  std::string why;
  const std::string host = PgHost(dir, &why);
  if (host.empty()) GTEST_SKIP() << why;
  ASSERT_TRUE(StartApp());
  Connect(QString::fromStdString(host));
  Run(QStringLiteral("SELECT pg_backend_pid()"));
  const pid_t backend = std::stoi(Main().Grid().Cells(1, 1));
  ASSERT_GT(backend, 0);
  // The server runs as another user: only root may stall it.
  if (kill(backend, SIGSTOP) != 0) GTEST_SKIP() << "cannot stop the server's process: " << std::strerror(errno);
  using Clock = std::chrono::steady_clock;
  Clock::time_point closed{};
  QTimer::singleShot(300, &Main(), [&] {
    closed = Clock::now();
    Main().close();
  });
  Run(QStringLiteral("SELECT 1"));
  const double seconds = std::chrono::duration<double>(Clock::now() - closed).count();
  kill(backend, SIGCONT);
  EXPECT_TRUE(Main().IsClosed());
  EXPECT_LT(seconds, 2.0);
  EXPECT_TRUE(platform.Messages.empty());
  app_.reset();
  EXPECT_NE(ReadFileBytes(dir.File("quorrel_Log.xml")), "");
  EXPECT_NE(ReadFileBytes(dir.File("quorrel_Opt.xml")), "");
}

// The same stall met by the table list's reading of the catalogue: the
// window works meanwhile, and its close gives the reading up instead of
// waiting for the server; the list is never shown.
TEST_F(WindowStall, ClosingWhileTheTableListReadsGivesTheReadingUp) {
  std::string why;
  const std::string host = PgHost(dir, &why);
  if (host.empty()) GTEST_SKIP() << why;
  ASSERT_TRUE(StartApp());
  Connect(QString::fromStdString(host));
  Run(QStringLiteral("SELECT pg_backend_pid()"));
  const pid_t backend = std::stoi(Main().Grid().Cells(1, 1));
  ASSERT_GT(backend, 0);
  if (kill(backend, SIGSTOP) != 0) GTEST_SKIP() << "cannot stop the server's process: " << std::strerror(errno);
  // Whatever happens, the server goes on after a while.
  std::atomic<bool> done{false}, resumedFirst{false};
  std::thread resume([&] {
    for (int i = 0; i < 160 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (!done) resumedFirst = true;
    kill(backend, SIGCONT);
  });
  int shown = 0;
  platform.ModalScript.push_back([&shown](QDialog& dialog) {
    ++shown;
    return dialog.result();
  });
  QTimer::singleShot(300, &Main(), [&] { Main().close(); });
  Actions().Execute(Actions().actTableList);
  const bool closed = QTest::qWaitFor([&] { return Main().IsClosed(); }, 5000);
  done = true;
  resume.join();
  EXPECT_TRUE(closed);
  EXPECT_FALSE(resumedFirst) << "the window closed only once the server went on";
  EXPECT_EQ(shown, 0);
  EXPECT_TRUE(platform.Messages.empty()) << platform.LastMessage().toStdString();
  app_.reset();
  EXPECT_NE(ReadFileBytes(dir.File("quorrel_Opt.xml")), "");
}

// A server that restarted between two runs: the next run opens a new
// session but does not run the statement on it (the DELETE would have
// emptied another schema's table); the user is told, nothing is recorded,
// and the next F5 runs it.
class WindowReconnect : public AppTest {};

TEST_F(WindowReconnect, ARunAfterARestartSaysSoAndRunsNothing) {
  std::string why;
  const std::string host = PgHost(dir, &why);
  if (host.empty()) GTEST_SKIP() << why;
  TPgServer& server = *TestServer(nullptr);
  ASSERT_TRUE(server.Admin("DROP SCHEMA IF EXISTS work CASCADE; CREATE SCHEMA work AUTHORIZATION quser"));
  ASSERT_TRUE(StartApp());
  Connect(QString::fromStdString(host));
  for (const char* sql : {"CREATE TABLE public.t AS SELECT 1 AS n", "CREATE TABLE work.t AS SELECT 1 AS n",
                          "SET search_path TO work"})
    Run(QString::fromUtf8(sql));
  ASSERT_TRUE(platform.Messages.empty());
  const int runs = App().LogDialog().RunCount();
  server.Stop();
  ASSERT_TRUE(server.Start()) << server.Error();

  Run(QStringLiteral("DELETE FROM t"));
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_EQ(platform.LastMessage(),
            Q8("サーバーとの接続が切れたため再接続しました。セッションの設定は失われています。ＳＱＬは実行していません。"));
  EXPECT_EQ(App().LogDialog().RunCount(), runs);
  EXPECT_FALSE(Main().IsRunning());
  EXPECT_TRUE(server.Admin("SELECT 1 / count(*) FROM public.t")) << "public.t was emptied";
  EXPECT_TRUE(server.Admin("SELECT 1 / count(*) FROM work.t")) << "work.t was emptied";

  Run(QStringLiteral("SELECT current_setting('search_path')"));
  EXPECT_EQ(Main().SqlInfo().Status(), SJ("完了"));
  EXPECT_EQ(Main().Grid().Cells(1, 1), "\"$user\", public");
  EXPECT_EQ(App().LogDialog().RunCount(), runs + 1);
  EXPECT_EQ(platform.Messages.size(), 1u);
}

// A restart with a change pending in manual mode: the user hears that the
// change is lost with the session, and the indicator clears.
TEST_F(WindowReconnect, ARestartWithAPendingChangeSaysItIsLost) {
  std::string why;
  const std::string host = PgHost(dir, &why);
  if (host.empty()) GTEST_SKIP() << why;
  TPgServer& server = *TestServer(nullptr);
  ASSERT_TRUE(StartApp());
  Connect(QString::fromStdString(host));
  Run(QStringLiteral("CREATE TABLE t AS SELECT 1 AS n"));
  Actions().Execute(Actions().actAutoCommit);
  Run(QStringLiteral("UPDATE t SET n = 2"));
  ASSERT_TRUE(Main().UncommittedShown());
  server.Stop();
  ASSERT_TRUE(server.Start()) << server.Error();

  Run(QStringLiteral("SELECT n FROM t"));
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_NE(platform.LastMessage().indexOf(Q8("コミットされていない変更は失われました")), -1)
      << platform.LastMessage().toStdString();
  EXPECT_FALSE(Main().UncommittedShown());
  EXPECT_FALSE(Actions().Update(Actions().actCommit));
  Run(QStringLiteral("SELECT n FROM t"));
  EXPECT_EQ(Main().Grid().Cells(1, 1), "1");
}

// The same restart met by the completion's reading of a table's columns,
// the first statement after it: the user hears of the new session then,
// before a statement of theirs runs on it.
TEST_F(WindowReconnect, TheCompletionsReadingAfterARestartSaysSo) {
  std::string why;
  const std::string host = PgHost(dir, &why);
  if (host.empty()) GTEST_SKIP() << why;
  TPgServer& server = *TestServer(nullptr);
  ASSERT_TRUE(StartApp());
  Connect(QString::fromStdString(host));
  Run(QStringLiteral("CREATE TABLE t (n integer)"));
  ASSERT_TRUE(platform.Messages.empty());
  server.Stop();
  ASSERT_TRUE(server.Start()) << server.Error();

  TCompleting ed(*SqlCompleter(App()), *Main().edtSql);
  ed.SetText(QStringLiteral("SELECT t.| FROM t"));
  ed.Key(Qt::Key_J, Qt::ControlModifier);
  ASSERT_EQ(platform.Messages.size(), 1u);
  EXPECT_TRUE(platform.LastMessage().startsWith(Q8("サーバーとの接続が切れたため再接続しました。")))
      << platform.LastMessage().toStdString();
  EXPECT_EQ(Main().StatusMsg(), SJ("エラーが発生しました"));
  // The new session answers the next asking.
  ed.Key(Qt::Key_J, Qt::ControlModifier);
  EXPECT_EQ(ed.Offered(), QStringList{"n"});
  EXPECT_EQ(platform.Messages.size(), 1u);
}

// The completion reads the tables again after a statement that changes
// them, and a new table's columns when first asked for.
class WindowCompletion : public WindowStop {};

TEST_P(WindowCompletion, OffersTheColumnsOfATableCreatedInTheSession) {
  Run(Q8("CREATE TABLE 新表 (alpha INTEGER, 名前 VARCHAR(20))"));
  ASSERT_TRUE(platform.Messages.empty()) << platform.LastMessage().toStdString();
  TCompleting ed(*SqlCompleter(App()), *Main().edtSql);
  ed.SetText(Q8("SELECT | FROM 新表 t"));
  ed.Type(QStringLiteral("t."));
  EXPECT_EQ(ed.Offered(), (QStringList{"alpha", Q8("名前")}));
  ed.Key(Qt::Key_Down);
  ed.Key(Qt::Key_Return);
  EXPECT_EQ(ed.Text(), Q8("SELECT t.名前 FROM 新表 t"));
  Actions().Execute(Actions().actStart);
  EXPECT_TRUE(platform.Messages.empty()) << platform.LastMessage().toStdString();
  EXPECT_EQ(Main().SqlInfo().ColCount(), 1);

  // Written with its schema where the driver names no default one.
  ed.SetText(Q8("SELECT * FROM 新|"));
  ed.Key(Qt::Key_J, Qt::ControlModifier);
  ASSERT_EQ(ed.Offered().size(), 1);
  EXPECT_TRUE(ed.Offered()[0].endsWith(Q8("新表"))) << ed.Offered()[0].toStdString();
  Run(Q8("DROP TABLE 新表"));
  ed.SetText(Q8("SELECT * FROM 新|"));
  ed.Key(Qt::Key_J, Qt::ControlModifier);
  EXPECT_TRUE(ed.Offered().isEmpty());
}

const auto kWindowBackends =
    testing::Values(Sqlite(), Postgres("Postgres", PgHost), Postgres("OdbcPostgres", OdbcPgHost),
                    TWindowBackend{"OdbcMariaDb", MariaHost, "SELECT SLEEP(30)", "UPDATE T SET N = N + SLEEP(30)",
                                   {"START TRANSACTION", "UPDATE T SET N = 4"}});
std::string BackendName(const testing::TestParamInfo<TWindowBackend>& info) { return info.param.Name; }

INSTANTIATE_TEST_SUITE_P(Backends, WindowStop, kWindowBackends, BackendName);
INSTANTIATE_TEST_SUITE_P(Backends, WindowCompletion, kWindowBackends, BackendName);

}  // namespace

// MariaDB through its ODBC driver, against the private server: what the
// shared backend cases do not look at in MariaDB's own terms — the bytes the
// server keeps, its error numbers, and stops that reach the server.

#include <gtest/gtest.h>

#include <chrono>
#include <clocale>
#include <functional>
#include <string>

#include "ServerEnv.h"

namespace {

using Clock = std::chrono::steady_clock;

class MariaSession : public testing::Test, protected TEngineProbe {
 protected:
  void SetUp() override {
    std::string why;
    server = TestMariaServer(&why);
    if (std::string missing = MissingMariaDriver(); !missing.empty()) GTEST_SKIP() << missing;
    if (!server) GTEST_SKIP() << why;
    ASSERT_TRUE(server->Reset()) << server->Error();
    ASSERT_TRUE(engine.CreateSession());
    ASSERT_TRUE(Logon()) << ErrUtf8();
  }
  bool Logon(const char* password = TMariaServer::Password()) {
    return engine.Logon(TMariaServer::User(), password, MariaOdbcHost(*server));
  }
  void Exec(const std::string& sqlUtf8) {
    ASSERT_TRUE(engine.ExecSql(SJ(sqlUtf8))) << sqlUtf8 << ": " << ErrUtf8();
  }
  // The first cell of a one-row query.
  std::string Scalar(const std::string& sqlUtf8) {
    cells.clear();
    if (!engine.OpenQuery(SJ(sqlUtf8)) || FetchAll() != 1) return "<failed: " + ErrUtf8() + ">";
    return Cell(1, 1);
  }
  // Runs `run` with a busy handler that answers stop 200 ms in; the seconds
  // it took.
  double StoppedAfter200ms(const std::function<void()>& run) {
    Clock::time_point stopAt{};
    calls = 0;
    engine.WhileBusy = [&] {
      ++calls;
      if (stopAt == Clock::time_point{}) stopAt = Clock::now() + std::chrono::milliseconds(200);
      return Clock::now() < stopAt;
    };
    const auto start = Clock::now();
    run();
    engine.WhileBusy = nullptr;
    return std::chrono::duration<double>(Clock::now() - start).count();
  }

  TMariaServer* server = nullptr;
  int calls = 0;
};

// The login's password is checked, and a wrong one is refused with the
// server's reason.
TEST_F(MariaSession, WrongPasswordIsRefused) {
  EXPECT_FALSE(Logon("wrong"));
  EXPECT_EQ(engine.ErrCode, 1045);
  EXPECT_NE(ErrUtf8().find("Access denied"), std::string::npos) << ErrUtf8();
}

// Japanese text reaches a utf8mb4 table as UTF-8, whatever the locale, and
// comes back as the same cp932 text, the NEC and IBM extensions included.
TEST_F(MariaSession, JapaneseTextRoundTripsThroughUtf8mb4) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  Exec("CREATE TABLE J (K INTEGER, V VARCHAR(20)) DEFAULT CHARSET utf8mb4");
  int k = 0;
  for (const char* locale : {"C", "C.UTF-8"}) {
    SCOPED_TRACE(locale);
    ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr);
    ASSERT_TRUE(Logon()) << ErrUtf8();
    ++k;
    Exec("INSERT INTO J VALUES (" + std::to_string(k) + ", '山田①髙﨑～')");
    EXPECT_EQ(Scalar("SELECT HEX(V) FROM J WHERE K = " + std::to_string(k)),
              "E5B1B1E794B0E291A0E9AB99EFA891EFBD9E");
    EXPECT_EQ(Scalar("SELECT V AS 名前 FROM J WHERE V = '山田①髙﨑～' AND K = " + std::to_string(k)),
              SJ("山田①髙﨑～"));
    EXPECT_EQ(info.ColName(0), SJ("名前"));
  }
  std::setlocale(LC_ALL, saved.c_str());
}

// Errors carry MariaDB's own numbers and texts; a query over a real table
// shows the first thousand rows and counts them all.
TEST_F(MariaSession, ErrorNumbersAndTheRowLimit) {
  EXPECT_FALSE(engine.OpenQuery("SELECT * FROM NO_SUCH_TABLE"));
  EXPECT_EQ(engine.ErrCode, 1146);
  EXPECT_NE(ErrUtf8().find("quorrel.NO_SUCH_TABLE' doesn't exist"), std::string::npos) << ErrUtf8();
  EXPECT_FALSE(engine.ExecSql("SELEC 1"));
  EXPECT_EQ(engine.ErrCode, 1064);

  Exec("CREATE TABLE T (N INTEGER PRIMARY KEY)");
  Exec("INSERT INTO T SELECT seq FROM seq_1_to_3000");
  EXPECT_EQ(info.RowCount(), 3000);
  ASSERT_TRUE(engine.OpenQuery("SELECT N FROM T WHERE N > 500 ORDER BY N DESC")) << ErrUtf8();
  EXPECT_EQ(info.RowCount(), 2500);
  EXPECT_EQ(FetchAll(), 1000);
  EXPECT_EQ(Cell(1, 1), "3000");
  EXPECT_EQ(Cell(1, 1000), "2001");
}

// A stop during a sleeping query and during a long change ends the run
// within moments, kills the statement on the server (nothing of it runs on,
// the change is undone) and leaves the connection ready.
TEST_F(MariaSession, StopReachesTheServer) {
  Exec("CREATE TABLE T (N INTEGER)");
  Exec("INSERT INTO T VALUES (1), (2)");
  const std::string running = "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE INFO LIKE '%SLEEP(30)%' "
                              "AND ID <> CONNECTION_ID()";

  double seconds = StoppedAfter200ms([&] {
    ASSERT_TRUE(engine.OpenQuery("SELECT SLEEP(30)")) << ErrUtf8();
    EXPECT_FALSE(engine.FetchRow());
  });
  EXPECT_TRUE(engine.Stopped());
  EXPECT_GT(calls, 5);
  EXPECT_LT(seconds, 2.5);
  EXPECT_EQ(Scalar(running), "0");

  seconds = StoppedAfter200ms([&] { ASSERT_TRUE(engine.ExecSql("UPDATE T SET N = N + 10 + SLEEP(30)")) << ErrUtf8(); });
  EXPECT_TRUE(engine.Stopped());
  EXPECT_EQ(info.RowCount(), 0);
  EXPECT_LT(seconds, 2.5);
  EXPECT_EQ(Scalar(running), "0");
  EXPECT_EQ(Scalar("SELECT SUM(N) FROM T"), "3");

  Exec("UPDATE T SET N = N + 1");
  EXPECT_FALSE(engine.Stopped());
  EXPECT_EQ(info.RowCount(), 2);
}

// The query runs once: its count is that of the very rows it gave, even
// where two runs would differ. The driver holds the whole result, so a stop
// while the opening reads it ends the rows between two of them, the count
// with them.
TEST_F(MariaSession, CountIsOfTheRowsShownAndAStopKeepsThem) {
  engine.MaxRow = [] { return 1000000; };
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(engine.OpenQuery("SELECT seq FROM seq_1_to_20000 WHERE RAND() < 0.5")) << ErrUtf8();
    EXPECT_EQ(FetchAll(), info.RowCount());
  }
  StoppedAfter200ms([&] {
    ASSERT_TRUE(engine.OpenQuery("SELECT a.seq, b.seq, REPEAT('x', 50) FROM seq_1_to_3000 a, seq_1_to_1000 b"))
        << ErrUtf8();
  });
  EXPECT_TRUE(engine.Stopped());
  const int count = info.RowCount();
  EXPECT_LT(count, 1000000);
  EXPECT_EQ(FetchAll(), count);
  EXPECT_EQ(engine.ErrCode, 0) << ErrUtf8();
  EXPECT_EQ(Scalar("SELECT 42"), "42");
}

}  // namespace

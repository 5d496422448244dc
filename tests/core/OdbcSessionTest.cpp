// ODBC through the engine against real drivers: logons that fail, queries
// whose row count the server will not give, batches and a vanishing server.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <chrono>
#include <clocale>
#include <filesystem>

#include "core/sessions/ServerTypes.h"
#include "ServerEnv.h"

namespace {

class OdbcSession : public TServerSessionTest {
 protected:
  std::string MissingDrivers() override { return PrepareOdbc(server); }
  bool LogonPg() { return engine.Logon(TPgServer::User(), TPgServer::Password(), kOdbcPgDsn); }
};

TEST_F(OdbcSession, LogonFailuresSayWhatWentWrong) {
  EXPECT_FALSE(engine.Logon("", "", "NoSuchSource"));
  EXPECT_EQ(engine.ErrCode, FoldSqlState("IM002"));
  EXPECT_NE(Text().find("データソースが見つかりません"), std::string::npos) << Text();

  EXPECT_FALSE(engine.Logon(TPgServer::User(), "wrong", kOdbcPgDsn));
  EXPECT_NE(engine.ErrCode, 0);
  EXPECT_NE(engine.ErrCode, -1);
  EXPECT_NE(Text().find("ログオンを拒否"), std::string::npos) << Text();
  EXPECT_NE(Text().find("password authentication failed"), std::string::npos) << Text();

  EXPECT_FALSE(engine.Logon("u", "p", "odbc:DRIVER=QuorrelPostgreSQL;Servername=127.0.0.1;Port=1;Database=x"));
  EXPECT_NE(engine.ErrCode, 0);
  EXPECT_NE(engine.ErrCode, -1);
  EXPECT_NE(Text().find("接続できません"), std::string::npos) << Text();

  // The dialog's password replaces a wrong one in the host string.
  EXPECT_TRUE(engine.Logon(TPgServer::User(), TPgServer::Password(), "odbc:DSN=" + std::string(kOdbcPgDsn) + ";PWD=bad"))
      << Text();
}

TEST_F(OdbcSession, CountsQueriesTheServerWillNotWrapAndSumsBatches) {
  ASSERT_TRUE(LogonPg()) << Text();
  // SHOW cannot stand in a subquery: its rows are counted by reading them.
  ASSERT_TRUE(engine.OpenQuery("SHOW DateStyle")) << Text();
  EXPECT_EQ(info.RowCount(), 1);
  EXPECT_EQ(FetchAll(), 1);

  ASSERT_TRUE(engine.ExecSql("CREATE TABLE T (N INTEGER)"));
  ASSERT_TRUE(engine.ExecSql("INSERT INTO T VALUES (1), (2), (3), (4)"));
  EXPECT_EQ(info.RowCount(), 4);
  ASSERT_TRUE(engine.ExecSql("UPDATE T SET N = N + 1 WHERE N < 3; DELETE FROM T WHERE N = 4")) << Text();
  EXPECT_EQ(info.RowCount(), 3);
  EXPECT_FALSE(engine.ExecSql("UPDATE T SET N = 1; SELEC 2"));
  EXPECT_NE(engine.ErrCode, 0);
}

// psqlODBC hands rows over through a cursor unless told otherwise, so a big
// result neither waits for its last row nor sits whole in memory; a
// statement run for its count still counts every row of its results.
TEST_F(OdbcSession, PostgresRowsComeThroughACursorAndCountsStayWhole) {
  const std::string host = "odbc:DRIVER=QuorrelPostgreSQL;Servername=127.0.0.1;Port=" +
                           std::to_string(server->Port()) + ";Database=" + TPgServer::Database();
  for (const std::string extra : {"", ";UseDeclareFetch=0"}) {
    SCOPED_TRACE(extra);
    ASSERT_TRUE(engine.Logon(TPgServer::User(), TPgServer::Password(), host + extra)) << Text();
    ASSERT_TRUE(engine.ExecSql("SELECT * FROM generate_series(1, 1234)")) << Text();
    EXPECT_EQ(info.RowCount(), 1234);
    ASSERT_TRUE(engine.ExecSql("WITH w AS (SELECT 1) SELECT * FROM generate_series(1, 99); SELECT 1")) << Text();
    EXPECT_EQ(info.RowCount(), 100);
  }

  ASSERT_TRUE(engine.Logon(TPgServer::User(), TPgServer::Password(), host)) << Text();
  // While the opening reads and counts, the session fetches from a cursor;
  // once it has opened, the rows shown are here and the server holds
  // nothing for them.
  bool sawCursor = false;
  engine.WhileBusy = [&] {
    if (!sawCursor)
      sawCursor = server->Admin("SELECT 1 / count(*) FROM pg_stat_activity WHERE usename = 'quser' "
                                "AND query ILIKE 'fetch%'");
    return true;
  };
  engine.MaxRow = [] { return 1000000; };
  ASSERT_TRUE(engine.OpenQuery("SELECT n FROM generate_series(1, 300000) AS s(n)")) << Text();
  engine.WhileBusy = nullptr;
  EXPECT_EQ(info.RowCount(), 300000);
  EXPECT_TRUE(sawCursor);
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(engine.FetchRow());
  EXPECT_EQ(Cell(1, 10), "10");
  EXPECT_TRUE(server->Admin("SELECT 1 / CASE WHEN count(*) = 0 THEN 1 ELSE 0 END FROM pg_stat_activity "
                            "WHERE usename = 'quser' AND state LIKE 'idle in transaction%'"))
      << server->Error();

  // A row that fails past the first batches fails the fetch, not the open;
  // the rows before it stay, counted as they came (nothing runs again for a
  // count), and the session goes on without a transaction.
  ASSERT_TRUE(engine.OpenQuery("SELECT n, 10 / (n - 5000) FROM generate_series(1, 10000) AS s(n)")) << Text();
  int rows = 0;
  while (engine.FetchRow()) ++rows;
  EXPECT_EQ(info.RowCount(), info.RowPos());
  EXPECT_GT(rows, 1000);
  EXPECT_LT(rows, 5000);
  EXPECT_NE(engine.ErrCode, 0);
  EXPECT_NE(Text().find("division by zero"), std::string::npos) << Text();
  EXPECT_EQ(Cell(1, rows), std::to_string(rows));
  ASSERT_TRUE(engine.OpenQuery("SELECT 42")) << Text();
  EXPECT_EQ(FetchAll(), 1);
  EXPECT_EQ(Cell(1, 1), "42");
  EXPECT_TRUE(server->Admin("SELECT 1 / CASE WHEN count(*) = 0 THEN 1 ELSE 0 END FROM pg_stat_activity "
                            "WHERE usename = 'quser' AND state LIKE 'idle in transaction%'"))
      << server->Error();
}

// psqlODBC describes text as VARCHAR of a guessed size: its values show as
// text, and rows come in blocks, where a value longer than the guess is read
// again whole, never cut, in whichever block it comes; NULLs and Japanese
// text stay what they are.
TEST_F(OdbcSession, PostgresTextComesWholeInBlocks) {
  ASSERT_TRUE(LogonPg()) << Text();
  engine.MaxRow = [] { return 100000; };
  // The long values begin after many blocks of short ones.
  ASSERT_TRUE(engine.OpenQuery(SJ("SELECT n, CASE WHEN n % 3 = 0 THEN NULL WHEN n < 20000 THEN 'テキスト' || n "
                                   "ELSE 'テキスト' || repeat('x', n % 3000) END "
                                   "FROM generate_series(1, 24000) AS s(n)")))
      << Text();
  EXPECT_EQ(info.ColType(1), "VARCHAR2");
  ASSERT_EQ(FetchAll(), 24000);
  EXPECT_EQ(engine.ErrCode, 0) << Text();
  int wrong = 0;
  for (int n = 1; n <= 24000 && wrong < 5; ++n) {
    const std::string want = n % 3 == 0   ? std::string()
                             : n < 20000 ? SJ("テキスト") + std::to_string(n)
                                         : SJ("テキスト") + std::string(static_cast<size_t>(n % 3000), 'x');
    if (Cell(1, n) != std::to_string(n) || Cell(2, n) != want) {
      ADD_FAILURE() << "row " << n << ": " << Cell(1, n) << " | " << Cell(2, n).size() << " bytes";
      ++wrong;
    }
  }
}

// psqlODBC hands text over in the process's locale unless it is asked for
// UTF-16; whatever the locale, Japanese text (the NEC and IBM extensions
// included), short or long, and NULLs come back as the same cp932 bytes.
TEST_F(OdbcSession, PostgresJapaneseTextWhateverTheLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  std::string longText;
  for (int i = 0; i < 3000; ++i) longText += i % 2 ? "髙﨑" : "ab";
  for (const char* locale : {"C", "C.UTF-8"}) {
    SCOPED_TRACE(locale);
    ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr);
    ASSERT_TRUE(LogonPg()) << Text();
    engine.MaxRow = [] { return 100000; };
    ASSERT_TRUE(engine.OpenQuery(SJ("SELECT n, CASE WHEN n % 2 = 0 THEN NULL ELSE '山田①髙﨑～' || n END AS 名前, "
                                     "CASE WHEN n = 3 THEN '" + longText + "' END, "
                                     "'2004-03-05 13:07:09'::timestamp + n * interval '1 day' "
                                     "FROM generate_series(1, 2000) AS s(n)")))
        << Text();
    EXPECT_EQ(info.ColName(1), SJ("名前"));
    EXPECT_EQ(info.RowCount(), 2000);
    ASSERT_EQ(FetchAll(), 2000);
    for (int n : {1, 2, 3, 999, 1000, 2000}) {
      SCOPED_TRACE(n);
      EXPECT_EQ(Cell(2, n), n % 2 ? SJ("山田①髙﨑～") + std::to_string(n) : std::string());
      EXPECT_EQ(Cell(3, n), n == 3 ? SJ(longText) : std::string());
    }
    EXPECT_EQ(Cell(4, 1), "2004/03/06 13:07:09");
  }
  std::setlocale(LC_ALL, saved.c_str());
}

// The query runs once: its count is that of the very rows it gave, even
// where two runs would differ, and a stop while the opening reads ends the
// rows where it found them, the count with them.
TEST_F(OdbcSession, PostgresCountIsOfTheRowsShownAndAStopKeepsThem) {
  ASSERT_TRUE(LogonPg()) << Text();
  engine.MaxRow = [] { return 1000000; };
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(engine.OpenQuery("SELECT n FROM generate_series(1, 20000) AS s(n) WHERE random() < 0.5")) << Text();
    EXPECT_EQ(FetchAll(), info.RowCount());
  }
  using Clock = std::chrono::steady_clock;
  Clock::time_point stopAt{};
  engine.WhileBusy = [&] {
    if (stopAt == Clock::time_point{}) stopAt = Clock::now() + std::chrono::milliseconds(200);
    return Clock::now() < stopAt;
  };
  ASSERT_TRUE(engine.OpenQuery("SELECT a.n, b.n FROM generate_series(1, 5000) AS a(n), generate_series(1, 2000) AS b(n)"))
      << Text();
  engine.WhileBusy = nullptr;
  EXPECT_TRUE(engine.Stopped());
  const int count = info.RowCount();
  EXPECT_LT(count, 1000000);
  EXPECT_EQ(FetchAll(), count);
  EXPECT_EQ(engine.ErrCode, 0) << Text();
  ASSERT_TRUE(engine.OpenQuery("SELECT 42")) << Text();
  EXPECT_EQ(FetchAll(), 1);
  EXPECT_EQ(Cell(1, 1), "42");
}

TEST_F(OdbcSession, SqliteThroughItsDriver) {
  ASSERT_TRUE(engine.Logon("", "", "odbc:DRIVER=" + std::string(kOdbcSqliteDriver) + ";Database=" + dir.File("x.db")))
      << Text();
  ASSERT_TRUE(engine.ExecSql("CREATE TABLE T (A INTEGER, D DATE)"));
  ASSERT_TRUE(engine.ExecSql("INSERT INTO T VALUES (1, '2004-03-05'), (2, 'not a date')"));
  // A PRAGMA cannot be wrapped either.
  ASSERT_TRUE(engine.OpenQuery("PRAGMA table_info(T)")) << Text();
  EXPECT_EQ(info.RowCount(), 2);
  EXPECT_EQ(FetchAll(), 2);
  ASSERT_TRUE(engine.OpenQuery("SELECT D FROM T ORDER BY A")) << Text();
  EXPECT_EQ(FetchAll(), 2);
  EXPECT_EQ(Cell(1, 1), "2004/03/05 00:00:00");
  EXPECT_EQ(Cell(1, 2), "not a date");  // shown as it is, not lost
}

// The SQLite driver has no wide entry points, so the driver manager turns our
// UTF-16 into narrow text; a program started without a UTF-8 locale must
// still store, find and name Japanese text as UTF-8.
TEST_F(OdbcSession, JapaneseTextThroughANarrowDriverWhateverTheLocale) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  for (const char* locale : {"C", "C.UTF-8"}) {
    SCOPED_TRACE(locale);
    ASSERT_NE(std::setlocale(LC_ALL, locale), nullptr);
    const std::string file = dir.File(std::string("表_") + locale + ".db");
    ASSERT_TRUE(engine.Logon("", "", SJ("odbc:DRIVER=" + std::string(kOdbcSqliteDriver) + ";Database=" + file)))
        << Text();
    ASSERT_TRUE(engine.ExecSql(SJ("CREATE TABLE T (J VARCHAR(10))"))) << Text();
    ASSERT_TRUE(engine.ExecSql(SJ("INSERT INTO T VALUES ('日本語')"))) << Text();
    ASSERT_TRUE(engine.OpenQuery(SJ("SELECT J AS 名前 FROM T WHERE J = '日本語'"))) << Text();
    EXPECT_EQ(info.ColName(0), SJ("名前"));
    EXPECT_EQ(FetchAll(), 1);
    EXPECT_EQ(Cell(1, 1), SJ("日本語"));
    EXPECT_FALSE(engine.OpenQuery(SJ("SELECT * FROM 無い表")));
    EXPECT_NE(Text().find("無い表"), std::string::npos) << Text();
    engine.CreateSession();  // closes the file

    // What every other program reads from the file.
    ASSERT_TRUE(std::filesystem::exists(file));
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_stmt* st = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT hex(J) FROM T", -1, &st, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "E697A5E69CACE8AA9E");
    sqlite3_finalize(st);
    sqlite3_close(db);
  }
  std::setlocale(LC_ALL, saved.c_str());
}

// The server goes away while the opening reads the rows: the rows read
// before stay, then the failure is told; the session reports it too.
TEST_F(OdbcSession, ServerStoppedDuringAFetch) {
  ASSERT_TRUE(LogonPg()) << Text();
  engine.MaxRow = [] { return 1000000; };
  int calls = 0;
  engine.WhileBusy = [&] {
    if (++calls == 10) server->Stop();
    return true;
  };
  const bool opened = engine.OpenQuery("SELECT a.n * 1000 + b.n FROM generate_series(0, 2999) AS a(n), "
                                       "generate_series(1, 1000) AS b(n)");
  engine.WhileBusy = nullptr;
  EXPECT_GE(calls, 10);
  if (opened) {
    int rows = 0;
    while (engine.FetchRow()) ++rows;
    EXPECT_GT(rows, 0);
    EXPECT_LT(info.RowPos(), 3000000);
    EXPECT_EQ(info.RowCount(), info.RowPos());  // the count is the rows read: the server cannot tell more
  }
  EXPECT_NE(engine.ErrCode, 0);
  EXPECT_FALSE(engine.ErrText.empty());
  EXPECT_FALSE(engine.FetchRow());
  EXPECT_FALSE(engine.ExecSql("SELECT 1"));
  EXPECT_NE(engine.ErrCode, 0);

  ASSERT_TRUE(server->Start()) << server->Error();
  ASSERT_TRUE(LogonPg()) << Text();
  ASSERT_TRUE(engine.OpenQuery("SELECT 42"));
  EXPECT_EQ(FetchAll(), 1);
  EXPECT_EQ(Cell(1, 1), "42");
}

}  // namespace

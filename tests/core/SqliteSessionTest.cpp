#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>

#include "core/sessions/SqliteTypes.h"
#include "BackendCases.h"

namespace {

std::string SqliteSeries(int n) {
  return "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < " + std::to_string(n) +
         ") SELECT n FROM s";
}

TBackendParam Sqlite(const char* name, std::function<TLogin(TTempDir&)> fresh, bool shared) {
  TBackendParam p{name, std::move(fresh), SqliteSeries};
  p.SlowQuery = "SELECT count(*) FROM (" + SqliteSeries(2000000000) + ")";
  p.SlowChange = "INSERT INTO T " + SqliteSeries(2000000000);
  if (shared) p.HoldLock = {"BEGIN EXCLUSIVE"};
  p.Shared = shared;
  return p;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(
    Sqlite, BackendCases,
    testing::Values(Sqlite("SqliteFile", [](TTempDir& d) { return TLogin{"", "", d.File("t.db")}; }, true),
                    Sqlite("SqliteDefault", [](TTempDir&) { return TLogin{"", "", ""}; }, false)),
    PrintToStringParamName);

TEST(SqliteSession, HostStringsChooseTheBackend) {
  const std::string def = "/x/quorrel.db";
  struct Case {
    const char* host;
    TBackend backend;
    const char* target;
  } cases[] = {
      {"", TBackend::Sqlite, "/x/quorrel.db"},
      {"  ", TBackend::Sqlite, "/x/quorrel.db"},
      {"sqlite:/data/a", TBackend::Sqlite, "/data/a"},
      {":memory:", TBackend::Sqlite, ":memory:"},
      {"/data/shop.DB", TBackend::Sqlite, "/data/shop.DB"},
      {"a.sqlite3", TBackend::Sqlite, "a.sqlite3"},
      {"b.db3", TBackend::Sqlite, "b.db3"},
      {"postgresql://localhost:5432/shop", TBackend::Postgres, "postgresql://localhost:5432/shop"},
      {"postgres://h/db", TBackend::Postgres, "postgres://h/db"},
      {"host=localhost dbname=shop", TBackend::Postgres, "host=localhost dbname=shop"},
      {"odbc:DSN=orders;Timeout=3", TBackend::Odbc, "DSN=orders;Timeout=3"},
      {"ORCL", TBackend::Odbc, "DSN=ORCL"},
      {"odbc:DRIVER=SQLite3;Database=/data/shop.db", TBackend::Odbc, "DRIVER=SQLite3;Database=/data/shop.db"},
      {"host=h dbname=shop.db", TBackend::Postgres, "host=h dbname=shop.db"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.host);
    TRoute r = RouteHost(c.host, def);
    EXPECT_EQ(r.Backend, c.backend);
    EXPECT_EQ(r.Target, c.target);
  }
}

// The engine on the real router, its default database in a temporary directory.
class SqliteEngine : public testing::Test, protected TEngineProbe {
 protected:
  void SetUp() override { ASSERT_TRUE(engine.CreateSession()); }
};

TEST_F(SqliteEngine, DefaultDatabaseIsCreatedNextToTheExecutable) {
  ASSERT_TRUE(engine.Logon("", "", ""));
  ASSERT_TRUE(engine.ExecSql("CREATE TABLE T (A INTEGER)\r\n"));
  struct stat st{};
  EXPECT_EQ(stat(dir.File("default.db").c_str(), &st), 0);
}

TEST_F(SqliteEngine, BadHostsAndScriptsGiveAClearError) {

  mkdir(dir.File("folder.db").c_str(), 0700);
  EXPECT_FALSE(engine.Logon("", "", dir.File("folder.db")));
  EXPECT_GT(engine.ErrCode, 0);
  EXPECT_FALSE(engine.ErrText.empty());

  WriteFileBytes(dir.File("garbage.db"), std::string(4096, '\x7f'));
  EXPECT_FALSE(engine.Logon("", "", dir.File("garbage.db")));
  EXPECT_EQ(engine.ErrCode, SQLITE_NOTADB);
  EXPECT_NE(engine.ErrText.find("not a database"), std::string::npos);
  EXPECT_EQ(ReadFileBytes(dir.File("garbage.db")), std::string(4096, '\x7f'));  // left as it was

  EXPECT_FALSE(engine.Logon("", "", "sqlite:" + dir.File("no/such/dir/x.db")));
  EXPECT_EQ(engine.ErrCode, SQLITE_CANTOPEN);
  // No file named: not a throw-away database that loses what is written to it.
  EXPECT_FALSE(engine.Logon("", "", "sqlite:"));
  EXPECT_EQ(engine.ErrCode, SQLITE_CANTOPEN);
  EXPECT_FALSE(engine.ErrText.empty());

  ASSERT_TRUE(engine.Logon("", "", ":memory:"));
  for (std::string sql : {"", "   \r\n", "-- only a comment\r\n", "/* open", "\x81\x81\xff\xfe"}) {
    SCOPED_TRACE(sql);
    EXPECT_FALSE(engine.ExecSql(sql));
    EXPECT_NE(engine.ErrCode, 0);
    EXPECT_FALSE(engine.ErrText.empty());
    EXPECT_FALSE(engine.OpenQuery(sql));
    EXPECT_NE(engine.ErrCode, 0);
  }
}

TEST_F(SqliteEngine, ScriptsOfSeveralStatementsRunWhole) {
  ASSERT_TRUE(engine.Logon("", "", ""));
  ASSERT_TRUE(engine.ExecSql("CREATE TABLE T (A INTEGER);\r\nINSERT INTO T VALUES (1);\r\nINSERT INTO T VALUES (2);\r\n"));
  EXPECT_EQ(info.RowCount(), 2);
  ASSERT_TRUE(engine.ExecSql("INSERT INTO T VALUES (3);\r\nCREATE TABLE U (B INTEGER);\r\n"));
  EXPECT_EQ(info.RowCount(), 1);  // the CREATE adds nothing to the insert's row
  // A query is one SELECT: a second statement after it is refused, not dropped.
  EXPECT_FALSE(engine.OpenQuery("SELECT * FROM T; DELETE FROM T"));
  ASSERT_TRUE(engine.OpenQuery("SELECT * FROM T;\r\n"));
  EXPECT_EQ(info.RowCount(), 3);
}

// A change runs with a larger page cache; the size the connection had, or
// the one a statement set, is what it has afterwards.
TEST_F(SqliteEngine, AChangeLeavesTheCacheSizeAsItWas) {
  ASSERT_TRUE(engine.Logon("", "", ":memory:"));
  auto cacheSize = [this] {
    EXPECT_TRUE(engine.OpenQuery("PRAGMA cache_size"));
    EXPECT_TRUE(engine.FetchRow());
    return Cell(1, 1);
  };
  const std::string initial = cacheSize();
  ASSERT_TRUE(engine.ExecSql("CREATE TABLE T (A INTEGER); INSERT INTO T VALUES (1)"));
  EXPECT_EQ(cacheSize(), initial);
  ASSERT_TRUE(engine.ExecSql("UPDATE T SET A = 2; PRAGMA cache_size = -3000"));
  EXPECT_EQ(cacheSize(), "-3000");
  EXPECT_FALSE(engine.ExecSql("UPDATE T SET A = 3; UPDATE NOSUCH SET A = 1"));
  EXPECT_EQ(cacheSize(), "-3000");
}

TEST(SqliteSession, DeclaredTypesMapToOracleCodes) {
  struct Case {
    const char* decl;
    int storage, code, size, precision, scale;
  } cases[] = {
      {"VARCHAR2(10)", SQLITE_TEXT, 1, 10, 0, 0},  {"TEXT", SQLITE_TEXT, 1, 0, 0, 0},
      {"CLOB", SQLITE_TEXT, 1, 0, 0, 0},           {"NVARCHAR(5)", SQLITE_TEXT, 1, 5, 0, 0},
      {"CHAR(3)", SQLITE_TEXT, 96, 3, 0, 0},       {"character varying(4)", SQLITE_TEXT, 1, 4, 0, 0},
      {"INTEGER", SQLITE_INTEGER, 2, 22, 38, 0},   {"NUMBER(7, 2)", SQLITE_FLOAT, 2, 22, 7, 2},
      {"NUMBER", SQLITE_FLOAT, 2, 22, 0, 0},       {"REAL", SQLITE_FLOAT, 2, 22, 0, 0},
      {"numeric(5)", SQLITE_INTEGER, 2, 22, 5, 0}, {"DATE", SQLITE_TEXT, 12, 7, 0, 0},
      {"DATETIME", SQLITE_TEXT, 12, 7, 0, 0},      {"TIMESTAMP", SQLITE_TEXT, 12, 7, 0, 0},
      {"BLOB", SQLITE_BLOB, 23, 0, 0, 0},          {"LONG RAW", SQLITE_BLOB, 24, 0, 0, 0},
      {"LONG", SQLITE_TEXT, 8, 0, 0, 0},           {nullptr, SQLITE_INTEGER, 2, 22, 0, 0},
      {nullptr, SQLITE_TEXT, 1, 0, 0, 0},          {nullptr, SQLITE_NULL, 1, 0, 0, 0},
      {nullptr, SQLITE_BLOB, 23, 0, 0, 0},         {"JSON", SQLITE_TEXT, 1, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.decl ? c.decl : "(none)");
    TSqliteColumnType t = MapSqliteType(c.decl, c.storage);
    EXPECT_EQ(t.Code, c.code);
    EXPECT_EQ(t.Size, c.size);
    EXPECT_EQ(t.Precision, c.precision);
    EXPECT_EQ(t.Scale, c.scale);
  }
}

// The plain date form is written straight into the cell; it must be the
// text the date-time detour makes, and refuse what that detour refuses.
TEST(SqliteSession, PlainDatesGiveTheTextOfTheDateTime) {
  int checked = 0;
  std::string direct;
  auto check = [&](const std::string& text) {
    SCOPED_TRACE(text);
    TDateTime dt;
    const bool parsed = ParseSqliteDate(text, dt);
    if (PlainDateCellText(text, direct)) {
      ASSERT_TRUE(parsed);
      ASSERT_EQ(direct, FormatDateTime(dt));
      ++checked;
    }
  };
  char buf[32];
  for (int y : {1899, 1900, 1901, 1999, 2000, 2004, 2023, 2024, 2100, 2400, 9999})
    for (int m = 0; m <= 13; ++m)
      for (int d = 0; d <= 32; ++d)
        for (const char* clock : {"", " 00:00:00", " 12:07:09", " 23:59:59", " 24:00:00", " 12:60:00", " 12:00:60"}) {
          std::snprintf(buf, sizeof buf, "%04d-%02d-%02d%s", y, m, d, clock);
          check(buf);
        }
  EXPECT_GT(checked, 10000);
  for (const char* text : {"2004/03/05 13:07:09", "2004-03-05T13:07:09", "2004-03-05 13:07", "2004-03-05",
                           " 2004-03-05 13:07:09", "2004-03-05 13:07:09.5", "2004-03/05 13:07:09",
                           "2004-03-05x13:07:09", "2oo4-03-05 13:07:09", "2004-03-05 13:07:0a", "2004/03/05",
                           "2004-03/05", "2004-03-05 "})
    check(text);
  EXPECT_TRUE(PlainDateCellText("2004-03-05T13:07:09", direct));
  EXPECT_EQ(direct, "2004/03/05 13:07:09");
  EXPECT_FALSE(PlainDateCellText("2004-02-30 00:00:00", direct));
  EXPECT_FALSE(PlainDateCellText("1899-12-31 00:00:00", direct));  // before 1900: the detour
}

TEST_F(SqliteEngine, DateFormsAndNumbers) {
  ASSERT_TRUE(engine.Logon("", "", ""));
  ASSERT_TRUE(engine.ExecSql("CREATE TABLE T (K INTEGER, D DATE, R REAL)"));
  ASSERT_TRUE(engine.ExecSql(
      "INSERT INTO T VALUES (1, '2004-03-05 13:07:09', 1.5), (2, '2004-03-05', 3.0), (3, "
      "'2004-03-05T13:07:09.250Z', 1e20), (4, julianday('2004-03-05 13:07:09'), -0.25), "
      "(5, 1078492029, NULL), (6, 'not a date', NULL), (7, '2004/03/05 13:07', NULL)"));
  ASSERT_TRUE(engine.OpenQuery("SELECT D, R FROM T ORDER BY K"));
  EXPECT_EQ(FetchAll(), 7);
  EXPECT_EQ(engine.ErrCode, 0);
  const char* dates[] = {"2004/03/05 13:07:09", "2004/03/05 00:00:00", "2004/03/05 13:07:09",
                         "2004/03/05 13:07:09", "2004/03/05 13:07:09", "not a date",
                         "2004/03/05 13:07:00"};
  for (int r = 1; r <= 7; ++r) EXPECT_EQ(Cell(1, r), dates[r - 1]) << r;
  EXPECT_EQ(Cell(2, 1), "1.5");
  EXPECT_EQ(Cell(2, 2), "3");
  EXPECT_EQ(Cell(2, 3), "1e+20");
  EXPECT_EQ(Cell(2, 4), "-0.25");
}

TEST_F(SqliteEngine, AFailureInTheMiddleOfAFetchKeepsTheRowsBeforeIt) {
  ASSERT_TRUE(engine.Logon("", "", ":memory:"));
  // The third row overflows only when SQLite computes it.
  ASSERT_TRUE(engine.OpenQuery(
      "WITH s(n) AS (VALUES (1), (2), (3), (4)) SELECT CASE WHEN n = 3 THEN abs(-9223372036854775807 - 1) "
      "ELSE n END FROM s"))
      << ErrUtf8();
  EXPECT_TRUE(engine.FetchRow());
  EXPECT_FALSE(engine.FetchRow());  // row 2 is written, then moving onto row 3 fails
  EXPECT_EQ(engine.ErrCode, SQLITE_ERROR);
  EXPECT_NE(ErrUtf8().find("integer overflow"), std::string::npos) << ErrUtf8();
  EXPECT_EQ(info.RowPos(), 2);
  EXPECT_EQ(Cell(1, 1), "1");
  EXPECT_EQ(Cell(1, 2), "2");
}

namespace {

// Runs sql on a connection of its own that does not wait for locks; returns
// SQLite's result code.
int WriteElsewhere(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  int rc = sqlite3_open(path.c_str(), &db);
  if (rc == SQLITE_OK) rc = sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return rc;
}

}  // namespace

TEST_F(SqliteEngine, AnEndedQueryLeavesTheFileToOthers) {
  const std::string path = dir.File("t.db");
  ASSERT_TRUE(engine.Logon("", "", path));
  ASSERT_TRUE(engine.ExecSql("CREATE TABLE T (N INTEGER)"));
  ASSERT_TRUE(engine.ExecSql(
      "INSERT INTO T WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 3000) SELECT n FROM s"));

  // At the row limit, with rows still unread: the run ends the query.
  ASSERT_TRUE(engine.OpenQuery("SELECT N FROM T"));
  EXPECT_EQ(FetchAll(), 1000);
  engine.CloseQuery();
  EXPECT_EQ(WriteElsewhere(path, "INSERT INTO T VALUES (0)"), SQLITE_OK);

  // Stopped after a few rows.
  ASSERT_TRUE(engine.OpenQuery("SELECT N FROM T"));
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(engine.FetchRow());
  engine.CloseQuery();
  EXPECT_EQ(WriteElsewhere(path, "INSERT INTO T VALUES (0)"), SQLITE_OK);
  EXPECT_EQ(info.RowCount(), 3001);
  EXPECT_EQ(info.RowPos(), 10);
  EXPECT_EQ(Cell(1, 10), "10");
  EXPECT_FALSE(engine.FetchRow());
  EXPECT_EQ(engine.ErrCode, 0);

  // A transaction the user began stays open, and so theirs to end.
  ASSERT_TRUE(engine.ExecSql("BEGIN"));
  ASSERT_TRUE(engine.ExecSql("INSERT INTO T VALUES (-1)"));
  ASSERT_TRUE(engine.OpenQuery("SELECT N FROM T"));
  EXPECT_EQ(FetchAll(), 1000);
  engine.CloseQuery();
  ASSERT_TRUE(engine.ExecSql("ROLLBACK")) << ErrUtf8();
  ASSERT_TRUE(engine.OpenQuery("SELECT count(*) FROM T WHERE N = -1"));
  EXPECT_EQ(FetchAll(), 1);
  EXPECT_EQ(Cell(1, 1), "0");

  // The table read last is the user's to drop.
  ASSERT_TRUE(engine.OpenQuery("SELECT N FROM T"));
  EXPECT_EQ(FetchAll(), 1000);
  engine.CloseQuery();
  EXPECT_TRUE(engine.ExecSql("DROP TABLE T")) << ErrUtf8();
}

TEST_F(SqliteEngine, CostlyQueriesAreCountedInTheOnePassThatKeepsTheRows) {
  const std::string path = dir.File("t.db");
  ASSERT_TRUE(engine.Logon("", "", path));
  ASSERT_TRUE(engine.ExecSql("CREATE TABLE T (N INTEGER, G INTEGER, S VARCHAR2(12))"));
  ASSERT_TRUE(engine.ExecSql(SJ("INSERT INTO T WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s "
                                "WHERE n < 400000) SELECT n, n % 1500, '名' || n FROM s")));

  // Grouping: every group counted, the first row limit's worth kept, and the
  // file already free before the first row is read.
  ASSERT_TRUE(engine.OpenQuery("SELECT G, count(*), sum(N), max(S) FROM T GROUP BY G")) << ErrUtf8();
  EXPECT_EQ(info.RowCount(), 1500);
  EXPECT_EQ(info.ColType(1), "NUMBER");
  EXPECT_EQ(WriteElsewhere(path, "CREATE TABLE U (A INTEGER)"), SQLITE_OK);
  EXPECT_EQ(FetchAll(), 1000);
  EXPECT_EQ(engine.ErrCode, 0);
  EXPECT_EQ(Cell(1, 1), "0");
  EXPECT_EQ(Cell(2, 1), "266");
  EXPECT_EQ(Cell(3, 1), std::to_string(266LL * 267 / 2 * 1500));
  EXPECT_EQ(Cell(4, 1), SJ("名99000"));
  EXPECT_EQ(Cell(1, 1000), "999");

  // A filtered sort under a small row limit; NULLs and reals come back as such.
  engine.MaxRow = [] { return 3; };
  ASSERT_TRUE(engine.OpenQuery(
      "SELECT N, CASE WHEN N = 397507 THEN NULL ELSE N / 4.0 END, S FROM T WHERE G = 7 ORDER BY N DESC"));
  EXPECT_EQ(info.RowCount(), 267);
  EXPECT_EQ(FetchAll(), 3);
  EXPECT_EQ(Cell(1, 1), "399007");
  EXPECT_EQ(Cell(2, 1), "99751.75");
  EXPECT_EQ(Cell(2, 2), "");
  EXPECT_EQ(Cell(3, 3), SJ("名396007"));

  // A failure on the way shows where reading the rows one by one meets it,
  // and not at all past the row limit.
  const char* failing = "SELECT CASE WHEN N = 5 THEN abs(-9223372036854775807 - 1) ELSE N END FROM T WHERE N % 2 = 1";
  engine.MaxRow = [] { return 1000; };
  ASSERT_TRUE(engine.OpenQuery(failing)) << ErrUtf8();
  EXPECT_EQ(info.RowCount(), 2);
  EXPECT_TRUE(engine.FetchRow());
  EXPECT_FALSE(engine.FetchRow());
  EXPECT_EQ(engine.ErrCode, SQLITE_ERROR);
  EXPECT_EQ(info.RowPos(), 2);
  EXPECT_EQ(Cell(1, 2), "3");
  engine.MaxRow = [] { return 1; };
  ASSERT_TRUE(engine.OpenQuery(failing)) << ErrUtf8();
  EXPECT_EQ(FetchAll(), 1);
  EXPECT_EQ(engine.ErrCode, 0);
}

// While SQLite sorts, counts or filters for long, the busy handler runs
// again and again; ordinary rows never call it. Its false answer ends the
// rows where they stand, without an error, and a query opened afterwards
// works as ever.
TEST_F(SqliteEngine, LongWorkCallsTheBusyHandlerWhichCanEndTheQuery) {
  const std::string path = dir.File("t.db");
  ASSERT_TRUE(engine.Logon("", "", path));
  ASSERT_TRUE(engine.ExecSql("CREATE TABLE T (N INTEGER, S VARCHAR2(12))"));
  ASSERT_TRUE(engine.ExecSql("INSERT INTO T WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s "
                             "WHERE n < 300000) SELECT n, hex(randomblob(4)) FROM s"));
  int calls = 0;
  bool keepGoing = true;
  engine.WhileBusy = [&] {
    ++calls;
    return keepGoing;
  };

  // A plain scan: no call.
  ASSERT_TRUE(engine.OpenQuery("SELECT * FROM T"));
  EXPECT_EQ(FetchAll(), 1000);
  EXPECT_EQ(calls, 0);

  // A filter that passes over every row before its only match, then a sort.
  ASSERT_TRUE(engine.OpenQuery("SELECT N FROM T WHERE S || N = 'x' OR N = 300000"));
  EXPECT_EQ(FetchAll(), 1);
  EXPECT_GT(calls, 0);
  calls = 0;
  ASSERT_TRUE(engine.OpenQuery("SELECT * FROM T ORDER BY S, N"));
  EXPECT_EQ(info.RowCount(), 300000);
  EXPECT_EQ(FetchAll(), 1000);
  EXPECT_GT(calls, 0);

  // Stopped during the sort (of the pass that counts): no rows, no error,
  // nothing counted yet.
  keepGoing = false;
  calls = 0;
  ASSERT_TRUE(engine.OpenQuery("SELECT * FROM T ORDER BY S, N")) << ErrUtf8();
  EXPECT_GE(calls, 1);  // asked once more by the pass that counts, if the count tried first
  EXPECT_LE(calls, 2);
  EXPECT_EQ(info.RowCount(), 0);
  EXPECT_FALSE(engine.FetchRow());
  EXPECT_EQ(engine.ErrCode, 0);
  EXPECT_EQ(info.RowPos(), 0);

  // Stopped while a costly query is counted: the rows kept so far come, and
  // the count is what was counted.
  calls = 0;
  engine.WhileBusy = [&] { return ++calls < 3; };
  engine.MaxRow = [] { return 10; };
  const char* costly = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 50000000) "
                       "SELECT x FROM c";
  ASSERT_TRUE(engine.OpenQuery(costly)) << ErrUtf8();
  EXPECT_GE(calls, 3);
  EXPECT_LE(calls, 4);
  EXPECT_GE(info.RowCount(), 10);
  EXPECT_LT(info.RowCount(), 50000000);
  EXPECT_EQ(FetchAll(), 10);
  EXPECT_EQ(engine.ErrCode, 0);
  EXPECT_EQ(Cell(1, 10), "10");

  // Without a handler nothing is stopped, and the file is free again.
  engine.WhileBusy = nullptr;
  engine.MaxRow = [] { return 1000; };
  ASSERT_TRUE(engine.OpenQuery("SELECT count(*) FROM T WHERE S || N <> 'x'"));
  EXPECT_EQ(FetchAll(), 1);
  EXPECT_EQ(Cell(1, 1), "300000");
  engine.CloseQuery();
  EXPECT_EQ(WriteElsewhere(path, "DROP TABLE T"), SQLITE_OK);
}

// A COMMIT that waits for another program's read lock can be stopped; the
// transaction then stays open with its changes, to be committed later.
TEST_F(SqliteEngine, AStoppedCommitLeavesTheChangesWaiting) {
  const std::string path = dir.File("t.db");
  ASSERT_TRUE(engine.Logon("", "", path));
  ASSERT_TRUE(engine.ExecSql("CREATE TABLE T (N INTEGER)"));
  ASSERT_TRUE(engine.ExecSql("INSERT INTO T VALUES (1)"));
  ASSERT_TRUE(engine.SetAutoCommit(false));
  ASSERT_TRUE(engine.ExecSql("UPDATE T SET N = 2"));
  sqlite3* reader = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &reader), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(reader, "BEGIN; SELECT * FROM T", nullptr, nullptr, nullptr), SQLITE_OK);
  int calls = 0;
  engine.WhileBusy = [&calls] { return ++calls < 5; };
  ASSERT_TRUE(engine.Commit()) << ErrUtf8();
  EXPECT_TRUE(engine.Stopped());
  EXPECT_TRUE(engine.InTransaction());
  sqlite3_exec(reader, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(reader);
  engine.WhileBusy = nullptr;
  ASSERT_TRUE(engine.Commit()) << ErrUtf8();
  EXPECT_FALSE(engine.InTransaction());
  EXPECT_EQ(WriteElsewhere(path, "UPDATE T SET N = N + 1 WHERE N = 2"), SQLITE_OK);
}

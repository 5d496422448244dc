#pragma once
// The behaviour every database backend must share, run through TSqlManager.
// Each backend instantiates these cases with a TBackendParam (see
// SqliteSessionTest.cpp), so the backends cannot drift apart.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include <chrono>

#include "core/Sjis.h"
#include "core/SqlManager.h"
#include "support/EngineProbe.h"

struct TLogin {
  std::string User, Password, Host;  // cp932, as typed in the login dialog
};

struct TBackendParam {
  std::string Name;
  // Makes an empty database (inside dir when it is a file) and returns how to log on.
  std::function<TLogin(TTempDir& dir)> Fresh;
  // A query of n rows with one integer column, numbered 1..n.
  std::function<std::string(int n)> Series;
  // Column types for text, number(7,2), char(3), a date with time, a date
  // alone and a text of several thousand characters.
  std::string TextType = "VARCHAR(10)", NumberType = "NUMERIC(7,2)", CharType = "CHAR(3)",
              DateType = "TIMESTAMP", DayType = "DATE", LongTextType = "VARCHAR(20000)";
  // False where the driver does not report a NUMERIC column's scale.
  bool ReportsScale = true;
  // Why the backend cannot run here (its server is missing), or empty.
  std::function<std::string()> Unavailable = {};
  // A query that takes half a minute before its first row, and a change of
  // T(N) as long; empty where the backend has none.
  std::string SlowQuery = {}, SlowChange = {};
  // What a second connection runs to hold a lock that keeps T from being
  // changed until it ends.
  std::vector<std::string> HoldLock = {};
  // Whether a second logon with the same login reaches the same database.
  bool Shared = true;
};

inline void PrintTo(const TBackendParam& p, std::ostream* os) { *os << p.Name; }

inline std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

inline std::string PrintToStringParamName(const testing::TestParamInfo<TBackendParam>& info) {
  return info.param.Name;
}

class BackendCases : public testing::TestWithParam<TBackendParam>, protected TEngineProbe {
 protected:
  void SetUp() override {
    ASSERT_TRUE(engine.CreateSession());
    if (GetParam().Unavailable) {
      std::string why = GetParam().Unavailable();
      if (!why.empty()) GTEST_SKIP() << why;
    }
    login = GetParam().Fresh(dir);
    ASSERT_TRUE(engine.Logon(login.User, login.Password, login.Host)) << ErrUtf8();
  }

  void Exec(const std::string& sqlUtf8) {
    ASSERT_TRUE(engine.ExecSql(SJ(sqlUtf8))) << sqlUtf8 << ": " << ErrUtf8();
  }
  bool Open(const std::string& sqlUtf8) { return engine.OpenQuery(SJ(sqlUtf8)); }

  TLogin login;
};

TEST_P(BackendCases, EmptyQueryDefinesColumns) {
  Exec("CREATE TABLE T (A " + GetParam().TextType + ", B " + GetParam().NumberType + ")");
  ASSERT_TRUE(Open("SELECT A, B FROM T"));
  EXPECT_EQ(info.ColCount(), 2);
  EXPECT_EQ(info.RowCount(), 0);
  EXPECT_FALSE(engine.FetchRow());
  EXPECT_EQ(engine.ErrCode, 0);
  EXPECT_EQ(info.RowPos(), 0);
  EXPECT_EQ(info.ColType(0), "VARCHAR2");
  EXPECT_EQ(info.ColSize(0), 10);
  EXPECT_EQ(info.ColType(1), "NUMBER");
  EXPECT_EQ(info.ColPrecision(1), 7);
  if (GetParam().ReportsScale) {
    EXPECT_EQ(info.ColScale(1), 2);
  }
  EXPECT_EQ(info.ColAlign(1), 2);
}

TEST_P(BackendCases, RowLimitKeepsTheFullRecordCount) {
  ASSERT_TRUE(Open(GetParam().Series(5000))) << ErrUtf8();
  EXPECT_EQ(info.RowCount(), 5000);
  EXPECT_EQ(FetchAll(), 1000);
  EXPECT_EQ(engine.ErrCode, 0);
  EXPECT_EQ(info.RowPos(), 1000);
  EXPECT_EQ(Cell(1, 1), "1");
  EXPECT_EQ(Cell(1, 1000), "1000");
  // The unfinished query does not stand in the way of the next statements.
  Exec("CREATE TABLE T (N " + GetParam().NumberType + ")");
  Exec("INSERT INTO T VALUES (7)");
  ASSERT_TRUE(Open("SELECT N FROM T")) << ErrUtf8();
  EXPECT_EQ(info.RowCount(), 1);
  EXPECT_EQ(FetchAll(), 1);
  EXPECT_EQ(Cell(1, 1), "7");
}

// A result of many blocks, cut by the row limit inside one: every row kept
// arrives whole, in order, and the rest is counted.
TEST_P(BackendCases, ManyBlocksArriveInOrderAndTheRestIsCounted) {
  const TBackendParam& p = GetParam();
  Exec("CREATE TABLE T (N " + p.NumberType + ", V " + p.TextType + ", D " + p.DayType + ")");
  Exec("INSERT INTO T (N) SELECT n FROM (" + p.Series(30000) + ") s");
  Exec("UPDATE T SET V = '山田①' WHERE N % 3 = 1");
  Exec("UPDATE T SET V = 'x' WHERE N % 3 = 2");
  Exec("UPDATE T SET D = '2004-03-05' WHERE N % 5 = 0");
  engine.MaxRow = [] { return 23456; };
  ASSERT_TRUE(Open("SELECT N, V, D FROM T ORDER BY N")) << ErrUtf8();
  EXPECT_EQ(info.RowCount(), 30000);
  ASSERT_EQ(FetchAll(), 23456);
  EXPECT_EQ(engine.ErrCode, 0) << ErrUtf8();
  int wrong = 0;
  for (int n = 1; n <= 23456 && wrong < 5; ++n) {
    const std::string v = n % 3 == 1 ? SJ("山田①") : n % 3 == 2 ? "x" : "";
    const std::string d = n % 5 == 0 ? "2004/03/05 00:00:00" : "";
    if (Cell(1, n) != std::to_string(n) || Cell(2, n) != v || Cell(3, n) != d) {
      ADD_FAILURE() << "row " << n << ": " << Cell(1, n) << " | " << Cell(2, n) << " | " << Cell(3, n);
      ++wrong;
    }
  }
}

TEST_P(BackendCases, ValuesNullsDatesAndJapaneseText) {
  const TBackendParam& p = GetParam();
  Exec("CREATE TABLE T (V " + p.TextType + ", N " + p.NumberType + ", C " + p.CharType + ", D " + p.DateType +
       ", E " + p.DayType + ")");
  Exec("INSERT INTO T VALUES ('山田①', 12.5, 'ab', '2004-03-05 13:07:09', '1999-12-31')");
  Exec("INSERT INTO T VALUES (NULL, NULL, NULL, NULL, NULL)");
  ASSERT_TRUE(Open("SELECT V, N, C, D, E FROM T ORDER BY V"));
  EXPECT_EQ(info.ColType(2), "CHAR");
  EXPECT_EQ(info.ColType(3), "DATE");
  EXPECT_EQ(info.ColType(4), "DATE");
  EXPECT_EQ(FetchAll(), 2);
  // NULLs sort differently per database: find the row holding the text.
  int r = Cell(1, 1).empty() ? 2 : 1;
  EXPECT_EQ(Cell(1, r), SJ("山田①"));
  EXPECT_EQ(Cell(2, r), "12.5");
  EXPECT_EQ(Cell(3, r).substr(0, 2), "ab");
  EXPECT_EQ(Cell(4, r), "2004/03/05 13:07:09");
  EXPECT_EQ(Cell(5, r), "1999/12/31 00:00:00");
  for (int c = 1; c <= 5; ++c) EXPECT_EQ(Cell(c, 3 - r), "") << c;
}

TEST_P(BackendCases, LongTextsArriveWhole) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += i % 2 ? "漢字" : "ab";
  text += "終";
  Exec("CREATE TABLE T (V " + GetParam().LongTextType + ")");
  Exec("INSERT INTO T VALUES ('" + text + "')");
  ASSERT_TRUE(Open("SELECT V FROM T"));
  EXPECT_EQ(FetchAll(), 1);
  const std::string got = Cell(1, 1), want = SJ(text);
  EXPECT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want) << "differs from byte " << std::mismatch(got.begin(), got.end(), want.begin(), want.end()).first - got.begin();
}

TEST_P(BackendCases, UpdateReportsRowsProcessed) {
  Exec("CREATE TABLE T (N " + GetParam().NumberType + ")");
  for (int i = 1; i <= 5; ++i) Exec("INSERT INTO T VALUES (" + std::to_string(i) + ")");
  ASSERT_TRUE(engine.ExecSql("UPDATE T SET N = N + 10 WHERE N <= 3\r\n"));
  EXPECT_EQ(info.RowCount(), 3);
  EXPECT_EQ(info.ColCount(), 0);
  // Statements that change no rows report none, whatever ran before them.
  ASSERT_TRUE(engine.ExecSql("CREATE TABLE U (N " + GetParam().NumberType + ")\r\n"));
  EXPECT_EQ(info.RowCount(), 0);
  ASSERT_TRUE(engine.ExecSql("UPDATE T SET N = 0 WHERE N < 0\r\n"));
  EXPECT_EQ(info.RowCount(), 0);
}

TEST_P(BackendCases, RejectedStatementGivesTheServersError) {
  EXPECT_FALSE(Open("SELECT * FROM NO_SUCH_TABLE"));
  EXPECT_NE(engine.ErrCode, 0);
  EXPECT_NE(engine.ErrCode, -1);
  EXPECT_NE(Lower(ErrUtf8()).find("no_such_table"), std::string::npos) << ErrUtf8();
  EXPECT_FALSE(engine.ExecSql("UPDATE NO_SUCH_TABLE SET A = 1"));
  EXPECT_NE(engine.ErrCode, 0);
  EXPECT_FALSE(engine.ErrText.empty());
  // A syntax error names the word the server stumbled on, with the same
  // number each time.
  EXPECT_FALSE(engine.ExecSql("SELEC 1"));
  const int syntaxErr = engine.ErrCode;
  EXPECT_NE(syntaxErr, 0);
  EXPECT_NE(syntaxErr, -1);
  EXPECT_NE(Lower(ErrUtf8()).find("selec"), std::string::npos) << ErrUtf8();
  EXPECT_FALSE(engine.OpenQuery("SELECT FROM WHERE"));
  EXPECT_NE(engine.ErrCode, 0);
  EXPECT_NE(engine.ErrCode, -1);
  EXPECT_FALSE(engine.ExecSql("SELEC 2"));
  EXPECT_EQ(engine.ErrCode, syntaxErr);
  // The session stays usable.
  ASSERT_TRUE(Open(GetParam().Series(1)));
  EXPECT_EQ(FetchAll(), 1);
}

// Every kind of statement can be stopped while it works: the busy handler
// runs meanwhile, the statement ends soon after it answers stop, a change is
// undone, and the next statement works on the same connection.
TEST_P(BackendCases, StopEndsAQueryAChangeAndALockWait) {
  const TBackendParam& p = GetParam();
  if (p.SlowQuery.empty()) GTEST_SKIP() << "no slow statements for this backend";
  using Clock = std::chrono::steady_clock;
  Exec("CREATE TABLE T (N INTEGER)");
  Exec("INSERT INTO T VALUES (1)");
  int calls = 0;
  Clock::time_point stopAt{};
  engine.WhileBusy = [&] {
    ++calls;
    if (stopAt == Clock::time_point{}) stopAt = Clock::now() + std::chrono::milliseconds(200);
    return Clock::now() < stopAt;
  };
  auto stopsSoon = [&](const char* what, const std::function<void()>& run) {
    SCOPED_TRACE(what);
    calls = 0;
    stopAt = {};
    const auto start = Clock::now();
    run();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    EXPECT_GT(calls, 5);
    EXPECT_LT(seconds, 5.0);
    EXPECT_TRUE(engine.Stopped());
  };

  stopsSoon("query", [&] {
    ASSERT_TRUE(Open(p.SlowQuery)) << ErrUtf8();
    EXPECT_FALSE(engine.FetchRow());
    EXPECT_EQ(engine.ErrCode, 0) << ErrUtf8();
  });
  stopsSoon("change", [&] {
    ASSERT_TRUE(engine.ExecSql(SJ(p.SlowChange))) << ErrUtf8();
    EXPECT_EQ(info.RowCount(), 0);
  });
  engine.WhileBusy = nullptr;
  ASSERT_TRUE(Open("SELECT COUNT(*) FROM T")) << ErrUtf8();
  EXPECT_EQ(FetchAll(), 1);
  EXPECT_EQ(Cell(1, 1), "1");  // the stopped change left nothing behind

  if (!p.HoldLock.empty()) {
    TEngineProbe holder;
    ASSERT_TRUE(holder.engine.CreateSession());
    ASSERT_TRUE(holder.engine.Logon(login.User, login.Password, login.Host)) << holder.ErrUtf8();
    for (const std::string& sql : p.HoldLock) ASSERT_TRUE(holder.engine.ExecSql(SJ(sql))) << holder.ErrUtf8();
    engine.WhileBusy = [&] {
      ++calls;
      if (stopAt == Clock::time_point{}) stopAt = Clock::now() + std::chrono::milliseconds(200);
      return Clock::now() < stopAt;
    };
    stopsSoon("lock wait", [&] {
      ASSERT_TRUE(engine.ExecSql(SJ("UPDATE T SET N = 2"))) << ErrUtf8();
      EXPECT_EQ(info.RowCount(), 0);
    });
    engine.WhileBusy = nullptr;
    ASSERT_TRUE(holder.engine.ExecSql(SJ("ROLLBACK"))) << holder.ErrUtf8();
  }
  Exec("UPDATE T SET N = 3");
  EXPECT_EQ(info.RowCount(), 1);
  EXPECT_FALSE(engine.Stopped());
}

// Manual commit: a change waits for COMMIT or ROLLBACK, seen from a second
// connection; a query alone opens no transaction, so the other connection
// can still write; the state follows a BEGIN and COMMIT typed as SQL.
TEST_P(BackendCases, ManualCommitWaitsForCommitOrRollback) {
  if (!GetParam().Shared) GTEST_SKIP() << "a second logon opens a database of its own";
  Exec("CREATE TABLE T (N INTEGER NOT NULL)");
  Exec("INSERT INTO T VALUES (1)");
  TEngineProbe other;
  ASSERT_TRUE(other.engine.CreateSession());
  ASSERT_TRUE(other.engine.Logon(login.User, login.Password, login.Host)) << other.ErrUtf8();
  const auto seen = [&other] {
    if (!other.engine.OpenQuery("SELECT N FROM T")) return other.ErrUtf8();
    other.FetchAll();
    other.engine.CloseQuery();
    return other.Cell(1, 1);
  };

  ASSERT_TRUE(engine.SetAutoCommit(false)) << ErrUtf8();
  ASSERT_TRUE(Open("SELECT N FROM T"));
  FetchAll();
  engine.CloseQuery();
  EXPECT_FALSE(engine.InTransaction()) << "a query opened a transaction";
  EXPECT_FALSE(engine.ExecSql(SJ("UPDATE T SET N = NULL")));
  EXPECT_FALSE(engine.InTransaction()) << "a failed change left a transaction";
  ASSERT_TRUE(other.engine.ExecSql("UPDATE T SET N = 5")) << other.ErrUtf8();

  const struct {
    const char* Name;
    bool Commit;
    const char* Seen;
  } ends[] = {{"rollback", false, "5"}, {"commit", true, "9"}};
  for (const auto& end : ends) {
    SCOPED_TRACE(end.Name);
    Exec("UPDATE T SET N = 9");
    EXPECT_TRUE(engine.InTransaction());
    ASSERT_TRUE(Open("SELECT N FROM T"));  // a query inside keeps the transaction
    FetchAll();
    engine.CloseQuery();
    EXPECT_TRUE(engine.InTransaction());
    EXPECT_EQ(seen(), "5");
    ASSERT_TRUE(end.Commit ? engine.Commit() : engine.Rollback()) << ErrUtf8();
    EXPECT_FALSE(engine.InTransaction());
    EXPECT_EQ(seen(), end.Seen);
  }

  ASSERT_TRUE(engine.SetAutoCommit(true)) << ErrUtf8();
  Exec("UPDATE T SET N = 2");
  EXPECT_FALSE(engine.InTransaction());
  EXPECT_EQ(seen(), "2");
  Exec("BEGIN");
  EXPECT_TRUE(engine.InTransaction());
  Exec("UPDATE T SET N = 3");
  EXPECT_EQ(seen(), "2");
  Exec("COMMIT");
  EXPECT_FALSE(engine.InTransaction());
  EXPECT_EQ(seen(), "3");
}

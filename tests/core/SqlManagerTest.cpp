#include <gtest/gtest.h>

#include <map>

#include "core/Sjis.h"
#include "core/SqlManager.h"
#include "support/EngineProbe.h"
#include "support/FakeSession.h"

namespace {

// An engine on a scripted session, with a result set whose cells are kept here.
struct TFakeEngine : TEngineProbe {
  std::shared_ptr<TFakeScript> script = std::make_shared<TFakeScript>();

  TFakeEngine() : TEngineProbe([this] { return MakeFakeSession(script); }) {
    EXPECT_TRUE(engine.CreateSession());
    EXPECT_TRUE(engine.Logon("scott", "tiger", "orcl"));
  }
};

}  // namespace

TEST(SqlManager, LogonPassesTheConnectTextAndCapturesTheSessionsError) {
  TFakeEngine f;
  EXPECT_EQ(f.script->LastConnect, "scott/tiger");
  EXPECT_EQ(f.script->LastHost, "orcl");

  f.script->Logon = {true, 1017, "ORA-01017: invalid username/password"};
  EXPECT_FALSE(f.engine.Logon("scott", "bad", "orcl"));
  EXPECT_EQ(f.engine.ErrCode, 1017);
  EXPECT_EQ(f.engine.ErrText, "ORA-01017: invalid username/password");

  f.script->Logon = {true, 0, "ignored"};
  EXPECT_FALSE(f.engine.Logon("scott", "bad", "orcl"));
  EXPECT_EQ(f.engine.ErrCode, -1);
  EXPECT_EQ(f.engine.ErrText, SJ("その他エラー"));

  // A failed logon keeps the previous database; the next success resets the error.
  f.script->Logon = {};
  EXPECT_TRUE(f.engine.Logon("a", "b", "c"));
  EXPECT_EQ(f.engine.ErrCode, 0);
  EXPECT_EQ(f.engine.ErrText, "");
}

TEST(SqlManager, CreateSessionFailureIsReportedWithoutText) {
  TSqlManager engine([]() -> std::unique_ptr<TSession> { throw std::runtime_error("no component"); });
  EXPECT_FALSE(engine.CreateSession());
  EXPECT_EQ(engine.ErrCode, 0);
  EXPECT_EQ(engine.ErrText, "");
  // Without a session, a logon fails cleanly.
  EXPECT_FALSE(engine.Logon("a", "b", "c"));
  EXPECT_EQ(engine.ErrCode, -1);
}

TEST(SqlManager, QueryCellsByType) {
  TFakeEngine f;
  f.script->Columns = {{"V", 1, 10}, {"N", 2, 22, 7, 2}, {"C", 96, 1}, {"D", 12, 7},
                       {"L", 8},      {"R", 23, 4},      {"ID", 11},   {"X", 4711}};
  f.script->Rows = {
      {FakeText("a"), FakeText("1.5"), FakeText("Y"), FakeDate(EncodeDateTime(2004, 3, 5, 13, 7, 9)),
       FakeText("long"), FakeText("raw"), FakeText("AAAB"), FakeNull()},
      {FakeNull(), FakeNull(), FakeNull(), FakeNull(), FakeNull(), FakeNull(), FakeNull(), FakeNull()},
  };
  ASSERT_TRUE(f.engine.OpenQuery("select"));
  EXPECT_EQ(f.info.ColCount(), 8);
  EXPECT_EQ(f.info.RowPos(), 0);
  EXPECT_EQ(f.info.ColType(1), "NUMBER");
  EXPECT_EQ(f.info.ColLength(1), 7);
  EXPECT_EQ(f.info.ColType(7), SJ("不明"));
  int reads = f.script->ValueReads;
  ASSERT_TRUE(f.engine.FetchRow());
  EXPECT_EQ(f.script->ValueReads - reads, 4);  // other types never read the value
  // The field's type is asked again for every row.
  f.script->Columns[2].Type = 8;
  f.script->Columns[4].Type = 1;
  ASSERT_TRUE(f.engine.FetchRow());
  EXPECT_FALSE(f.engine.FetchRow());
  EXPECT_EQ(f.engine.ErrCode, 0);

  const std::string unsupported = SJ("未対応の型");
  std::vector<std::string> row1{"a", "1.5", "Y", "2004/03/05 13:07:09", unsupported, unsupported, unsupported,
                                unsupported};
  std::vector<std::string> row2{"", "", unsupported, "", "", unsupported, unsupported, unsupported};
  for (int c = 1; c <= 8; ++c) {
    EXPECT_EQ(f.Cell(c, 1), row1[c - 1]) << c;
    EXPECT_EQ(f.Cell(c, 2), row2[c - 1]) << c;
  }
  EXPECT_EQ(f.info.RowPos(), 2);
  EXPECT_EQ(f.info.RowMax(), 2);
  EXPECT_FALSE(f.info.AltRow);  // toggled twice
}

TEST(SqlManager, RowLimitIsReadAtEveryFetch) {
  TFakeEngine f;
  f.script->Columns = {{"N", 2, 22}};
  for (int i = 0; i < 10; ++i) f.script->Rows.push_back({FakeText(std::to_string(i))});
  int limit = 3;
  f.engine.MaxRow = [&] { return limit; };
  ASSERT_TRUE(f.engine.OpenQuery("q"));
  int fetched = 0;
  while (f.engine.FetchRow()) ++fetched;
  EXPECT_EQ(fetched, 3);
  EXPECT_EQ(f.engine.ErrCode, 0);
  limit = 5;  // raised between calls: the same query goes on
  while (f.engine.FetchRow()) ++fetched;
  EXPECT_EQ(fetched, 5);
  EXPECT_EQ(f.info.RowCount(), 10);
}

TEST(SqlManager, FailuresLeaveWhatWasDone) {
  TFakeEngine f;
  f.script->Columns = {{"A", 1, 5}, {"B", 1, 5}};
  f.script->Rows = {{FakeText("1"), FakeText("2")}, {FakeText("3"), FakeText("4")}};
  f.script->FailMoveNextTo = 1;
  f.script->Fetch = {true, 3113, "ORA-03113: end-of-file on communication channel"};
  ASSERT_TRUE(f.engine.OpenQuery("q"));
  EXPECT_FALSE(f.engine.FetchRow());  // the row was written, then MoveNext failed
  EXPECT_EQ(f.engine.ErrCode, 3113);
  EXPECT_EQ(f.Cell(2, 1), "2");
  EXPECT_EQ(f.info.RowPos(), 1);

  f.script->Query = {true, 942, "ORA-00942: table or view does not exist"};
  EXPECT_FALSE(f.engine.OpenQuery("select * from nowhere"));
  EXPECT_EQ(f.engine.ErrCode, 942);
  EXPECT_EQ(f.info.ColCount(), 0);  // cleared and stamped before the failure
  EXPECT_NE(f.info.Date(), 0);

  f.script->Exec = {true, 0, ""};
  EXPECT_FALSE(f.engine.ExecSql("update"));
  EXPECT_EQ(f.engine.ErrCode, -1);
  EXPECT_EQ(f.engine.ErrText, SJ("その他エラー"));
}

TEST(SqlManager, ExecSqlReportsRowsProcessed) {
  TFakeEngine f;
  f.script->ExecRows = 3;
  ASSERT_TRUE(f.engine.ExecSql("UPDATE T SET A = 1\r\n"));
  EXPECT_EQ(f.info.RowCount(), 3);
  EXPECT_EQ(f.info.ColCount(), 0);
  EXPECT_EQ(f.script->Statements.back(), "UPDATE T SET A = 1\r\n");
}

TEST(SqlManager, WithoutALogonOperationsFailCleanly) {
  TSqlInfo info;
  TSqlManager engine([] { return MakeFakeSession(std::make_shared<TFakeScript>()); });
  engine.SqlInfo = &info;
  ASSERT_TRUE(engine.CreateSession());
  EXPECT_FALSE(engine.ExecSql("x"));
  EXPECT_EQ(engine.ErrCode, -1);
  EXPECT_FALSE(engine.OpenQuery("x"));
  EXPECT_FALSE(engine.FetchRow());  // no row source: simply no row
  EXPECT_EQ(engine.ErrCode, 0);
}

TEST(SqlManager, ResultSetEventsArriveInStatementOrder) {
  TFakeEngine f;
  f.script->Columns = {{"A", 2, 22, 5, 0}, {"B", 1, 10}};
  f.script->RecordCount = 4;
  f.script->ExecRows = 2;
  std::vector<std::string> events;
  auto add = [&](const char* name) { return [&events, name](TSqlInfo&) { events.push_back(name); }; };
  auto addIdx = [&](const char* name) {
    return [&events, name](TSqlInfo&, int i) { events.push_back(name + std::to_string(i)); };
  };
  f.info.OnDate = add("Date");
  f.info.OnStartTime = add("Start");
  f.info.OnEndTime = add("End");
  f.info.OnDiffTime = add("Diff");
  f.info.OnStatus = add("Status");
  f.info.OnRowMax = add("RowMax");
  f.info.OnRowPos = add("RowPos");
  f.info.OnColCount = [&](TSqlInfo& s) { events.push_back("ColCount" + std::to_string(s.ColCount())); };
  f.info.OnRowCount = [&](TSqlInfo& s) { events.push_back("RowCount" + std::to_string(s.RowCount())); };
  f.info.OnColName = addIdx("Name");
  f.info.OnColLength = addIdx("Length");
  f.info.OnColAlign = addIdx("Align");
  const std::vector<std::string> clearAndBegin{"RowMax", "RowPos", "RowCount0", "ColCount0", "Status", "Date",
                                               "Start", "End", "Diff", "Date", "Start", "End", "Diff", "RowMax"};

  ASSERT_TRUE(f.engine.OpenQuery("select"));
  std::vector<std::string> want = clearAndBegin;
  for (const char* e : {"ColCount2", "RowCount4", "Name0", "Length0", "Align0", "Name1", "Length1", "Align1"})
    want.push_back(e);
  EXPECT_EQ(events, want);

  events.clear();
  ASSERT_TRUE(f.engine.ExecSql("update"));
  want = clearAndBegin;
  want.push_back("RowCount2");
  EXPECT_EQ(events, want);
}

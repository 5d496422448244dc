#include <gtest/gtest.h>

#include "core/Sjis.h"
#include "core/SqlInfo.h"
#include "support/TempDir.h"

namespace {

// Records the events of a TSqlInfo in order.
struct TEventLog {
  std::vector<std::string> events;
  void Attach(TSqlInfo& s) {
    auto add = [this](const char* name) { return [this, name](TSqlInfo&) { events.push_back(name); }; };
    auto addIdx = [this](const char* name) {
      return [this, name](TSqlInfo&, int i) { events.push_back(std::string(name) + std::to_string(i)); };
    };
    s.OnDate = add("Date");
    s.OnStartTime = add("StartTime");
    s.OnEndTime = add("EndTime");
    s.OnDiffTime = add("DiffTime");
    s.OnStatus = add("Status");
    s.OnRowMax = add("RowMax");
    s.OnRowPos = add("RowPos");
    s.OnRowCount = add("RowCount");
    s.OnColCount = add("ColCount");
    s.OnColName = addIdx("ColName");
    s.OnColLength = addIdx("ColLength");
    s.OnColAlign = addIdx("ColAlign");
  }
};

}  // namespace

TEST(SqlInfo, ClearFiresInOrderAndStampsTheDate) {
  TFixedClock clock;
  clock.now = EncodeDateTime(2004, 3, 5, 13, 7, 9);
  TSqlInfo s;
  s.SetColCount(2);
  s.SetStatus("x");
  s.AltRow = true;
  s.Sql = {"select 1"};
  TEventLog log;
  log.Attach(s);
  s.Clear();
  EXPECT_EQ(log.events, (std::vector<std::string>{"RowMax", "RowPos", "RowCount", "ColCount", "Status", "Date",
                                                   "StartTime", "EndTime", "DiffTime"}));
  EXPECT_EQ(s.Date(), clock.now);
  EXPECT_EQ(s.ColCount(), 0);
  EXPECT_FALSE(s.AltRow);
  EXPECT_TRUE(s.Sql.empty());
}

TEST(SqlInfo, CopyToFiresInOrderAndCopiesNoCells) {
  TSqlInfo src;
  src.SetStatus(SJ("完了"));
  src.SetRowMax(3);
  src.SetRowPos(3);
  src.SetRowCount(7);
  src.SetColCount(2);
  src.SetDate(10);
  src.SetStartTime(0.5);
  src.SetEndTime(0.6);
  src.SetDiffTime(0.1);
  src.SetColName(0, "A");
  src.DefineColumn(0, 2, 22, 10, 2);
  src.SetColName(1, "B");
  src.DefineColumn(1, 1, 20, 0, 0);
  src.Sql = {"select", "from"};
  src.TickStart = 99;
  int srcCellReads = 0;
  src.OnGetCell = [&](TSqlInfo&, int, int) { ++srcCellReads; return std::string("x"); };

  TSqlInfo dst;
  TEventLog log;
  log.Attach(dst);
  int cellWrites = 0;
  dst.OnSetCell = [&](TSqlInfo&, int, int, std::string_view) { ++cellWrites; };
  src.CopyTo(dst);

  EXPECT_EQ(log.events,
            (std::vector<std::string>{"Status", "RowMax", "RowPos", "RowCount", "ColCount", "Date", "StartTime",
                                      "EndTime", "DiffTime", "ColName0", "ColLength0", "ColAlign0", "ColName1",
                                      "ColLength1", "ColAlign1"}));
  EXPECT_EQ(srcCellReads, 0);
  EXPECT_EQ(cellWrites, 0);
  EXPECT_EQ(dst.TickStart, 0u);
  EXPECT_EQ(dst.Status(), SJ("完了"));
  EXPECT_EQ(dst.RowCount(), 7);
  EXPECT_EQ(dst.ColType(0), "NUMBER");
  EXPECT_EQ(dst.ColPrecision(0), 10);
  EXPECT_EQ(dst.ColScale(0), 2);
  EXPECT_EQ(dst.ColLength(1), 20);
  EXPECT_EQ(dst.ColAlign(1), caLeft);
  EXPECT_EQ(dst.Sql, src.Sql);
}

TEST(SqlInfo, DefineColumnFollowsTheTypeTable) {
  TSqlInfo s;
  s.SetColCount(1);
  struct Row {
    int code, size, prec, scale;
    std::string name;
    int wantSize, wantPrec, wantScale, wantLen, wantAlign, wantCode;
  } rows[] = {
      {24, 100, 5, 2, "LONGRAW", 0, 0, 0, 0, caCenter, 24},
      {2, 22, 10, 2, "NUMBER", 22, 10, 2, 10, caRight, 2},
      {4711, 10, 1, 1, SJ("不明"), 0, 0, 0, 0, caLeft, 0},
      {1, 30, 9, 9, "VARCHAR2", 30, 0, 0, 30, caLeft, 1},
      {12, 7, 1, 1, "DATE", 7, 0, 0, 7, caRight, 12},
      {96, 3, 0, 0, "CHAR", 3, 0, 0, 3, caLeft, 96},
      {8, 9, 9, 9, "LONG", 0, 0, 0, 0, caCenter, 8},
      {106, 9, 9, 9, "MLSLABEL", 0, 0, 0, 0, caLeft, 106},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.code);
    std::vector<std::string> events;
    s.OnColLength = [&](TSqlInfo&, int) { events.push_back("len"); };
    s.OnColAlign = [&](TSqlInfo&, int) { events.push_back("align"); };
    s.DefineColumn(0, r.code, r.size, r.prec, r.scale);
    EXPECT_EQ(s.ColType(0), r.name);
    EXPECT_EQ(s.ColTypeCode(0), r.wantCode);
    EXPECT_EQ(s.ColSize(0), r.wantSize);
    EXPECT_EQ(s.ColPrecision(0), r.wantPrec);
    EXPECT_EQ(s.ColScale(0), r.wantScale);
    EXPECT_EQ(s.ColLength(0), r.wantLen);
    EXPECT_EQ(s.ColAlign(0), r.wantAlign);
    EXPECT_EQ(events, (std::vector<std::string>{"len", "align"}));
  }
}

TEST(SqlInfo, TypeNameAndCodeSetters) {
  TSqlInfo s;
  s.SetColCount(1);
  s.SetColTypeCode(0, 5);
  EXPECT_EQ(s.ColTypeCode(0), 5);
  EXPECT_EQ(s.ColType(0), "");
  s.SetColType(0, "LONG RAW");
  EXPECT_EQ(s.ColTypeCode(0), 0);
  EXPECT_EQ(s.ColType(0), "LONG RAW");
  s.SetColType(0, "number");  // case-sensitive
  EXPECT_EQ(s.ColTypeCode(0), 0);
  s.SetColType(0, "CHAR");
  EXPECT_EQ(s.ColTypeCode(0), 96);
  s.SetColType(0, SJ("不明"));
  EXPECT_EQ(s.ColTypeCode(0), 0);
}

TEST(SqlInfo, ColumnIndexesOutsideTheRangeAreIgnored) {
  TSqlInfo s;
  int events = 0;
  s.OnColName = [&](TSqlInfo&, int) { ++events; };
  s.SetColCount(2);
  s.SetColName(2, "x");
  s.SetColName(-1, "x");
  s.DefineColumn(5, 2, 1, 1, 1);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(s.ColName(2), "");
  EXPECT_EQ(s.ColSize(-1), 0);

  s.SetColName(1, "B");
  s.SetColSize(1, 9);
  s.SetColCount(2);  // the same count still resets every column
  EXPECT_EQ(s.ColName(1), "");
  EXPECT_EQ(s.ColSize(1), 0);
  s.SetColCount(-3);  // a damaged file's negative count
  EXPECT_EQ(s.ColCount(), 0);
}

TEST(SqlInfo, CellsGoThroughTheOwner) {
  TSqlInfo s;
  EXPECT_EQ(s.GetCell(1, 1), "");
  s.SetCell(1, 1, "ignored");
  std::map<std::pair<int, int>, std::string> store;
  s.OnSetCell = [&](TSqlInfo&, int c, int r, std::string_view t) { store[{c, r}] = std::string(t); };
  s.OnGetCell = [&](TSqlInfo&, int c, int r) { return store[{c, r}]; };
  s.SetCell(2, 3, "v");
  EXPECT_EQ(s.GetCell(2, 3), "v");
  int rowMaxEvents = 0;
  s.OnRowMax = [&](TSqlInfo& sender) { rowMaxEvents += sender.RowMax(); };
  s.AddRow();
  s.AddRow();
  EXPECT_EQ(rowMaxEvents, 1 + 2);  // the handler sees the new value
}

TEST(SqlInfo, TimingRoundsTheFinalElapsedTimeUp) {
  TFixedClock clock;
  clock.now = EncodeDateTime(2001, 4, 3, 9, 5, 7);
  for (auto [ms, shown] : std::vector<std::pair<uint32_t, const char*>>{
           {0, "00:00:00"}, {1, "00:00:01"}, {1000, "00:00:01"}, {1001, "00:00:02"}}) {
    SCOPED_TRACE(ms);
    TSqlInfo s;
    s.SetRowMax(5);
    s.SetRowPos(5);
    clock.tick = 4294967000u;  // the tick wraps during the run
    s.BeginTiming();
    EXPECT_EQ(s.RowMax(), 0);
    EXPECT_EQ(s.RowPos(), 5);
    EXPECT_EQ(s.Date(), clock.now);
    EXPECT_EQ(s.StartTime(), clock.now);
    clock.tick += ms;
    s.UpdateTiming();
    EXPECT_EQ(FormatTime(s.DiffTime()), ms >= 1000 ? "00:00:01" : "00:00:00");
    s.EndTiming();
    EXPECT_EQ(FormatTime(s.DiffTime()), shown);
    EXPECT_EQ(s.EndTime(), clock.now);
  }
}

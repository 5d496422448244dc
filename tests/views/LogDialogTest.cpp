// The history list as a table: its layout when the first run arrives, its
// empty state, the marks of the runs the next write drops, and a restore
// that finds no run.

#include <gtest/gtest.h>

#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include "core/Sjis.h"
#include "views/LogDialog.h"
#include "views/SqlGrid.h"

namespace {

class TFakeLogHost final : public TLogHost {
 public:
  int maxLog = 10;
  int busy = 0;
  int news = 0;
  TSqlInfo main;
  int MaxLog() override { return maxLog; }
  std::string LogDir() override { return "/nonexistent/"; }
  void BeginBusy() override { ++busy; }
  void EndBusy() override { --busy; }
  void NewMain() override { ++news; }
  TSqlInfo& MainResult() override { return main; }
  void SetSqlLines(const TStrings&) override {}
  void SetStatusMsg(std::string_view) override {}
  void RefreshMain() override {}
  void FocusMainGrid() override {}
};

struct TLog {
  TFakeLogHost* host = new TFakeLogHost;
  TfrmLog dialog{nullptr, std::unique_ptr<TLogHost>(host)};
};

void MakeRun(TSqlInfo& run, int second, TStrings sql) {
  run.Clear();
  run.SetDate(EncodeDate(2001, 4, 3));
  run.SetStartTime(EncodeTime(9, 5, second));
  run.SetEndTime(EncodeTime(9, 5, second + 1));
  run.SetDiffTime(EncodeTime(0, 0, 1));
  run.SetStatus(SJ("完了"));
  run.SetRowPos(14);
  run.SetRowCount(14);
  run.SetColCount(2);
  run.SetRowMax(14);
  run.Sql = std::move(sql);
}

}  // namespace

TEST(LogDialog, TheFirstRunLaysTheTableOutAgainAfterClearing) {
  TLog log;
  TSqlGrid& g = *log.dialog.grdLog;
  EXPECT_EQ(log.dialog.objectName(), QStringLiteral("frmLog"));
  EXPECT_EQ(log.dialog.size(), QSize(620, 440));
  EXPECT_EQ(log.dialog.minimumSize(), QSize(600, 400));
  EXPECT_EQ(g.EmptyText(), SJ("履　歴　が　存　在　し　ま　せ　ん"));
  EXPECT_TRUE(log.dialog.rdoWithResult->isChecked());

  TSqlInfo run;
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass);
    // Empty: two columns, two rows, nothing to choose.
    EXPECT_EQ(log.dialog.RunCount(), 0);
    EXPECT_EQ(log.dialog.RunAt(1), nullptr);
    EXPECT_EQ(g.ColCount(), 2);
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_FALSE(g.Enabled());
    EXPECT_FALSE(log.dialog.btnOk->isEnabled());
    EXPECT_FALSE(log.dialog.rdoOption->isEnabled());
    EXPECT_TRUE(log.dialog.btnCancel->isEnabled());

    MakeRun(run, 7, {"select empno,", "  ename from emp"});
    log.dialog.AddRun(run);
    ASSERT_EQ(g.ColCount(), 10);
    EXPECT_EQ(g.RowCount(), 2);
    EXPECT_TRUE(g.Enabled());
    EXPECT_TRUE(log.dialog.btnOk->isEnabled());
    EXPECT_TRUE(log.dialog.rdoOption->isEnabled());
    const char* headers[] = {"", "日付", "開始", "終了", "差", "取得行", "合計行", "列数", "状況", "　ＳＱＬ文"};
    const int widths[] = {50, 68, 58, 58, 58, 50, 50, 36, 36, 500};
    const uint8_t aligns[] = {0, caCenter, caCenter, caCenter, caCenter, caRight, caRight, caRight, caCenter, caLeft};
    for (int c = 0; c < 10; ++c) {
      SCOPED_TRACE(c);
      EXPECT_EQ(g.Cells(c, 0), SJ(headers[c]));
      EXPECT_EQ(g.ColWidths(c), widths[c]);
      EXPECT_EQ(g.EffectiveAttr(c, 1, false).HAlign, c == 0 ? uint8_t{caRight} : aligns[c]);
    }
    EXPECT_EQ(g.EffectiveAttr(9, 0, false).HAlign, caLeft);
    EXPECT_EQ(g.EffectiveAttr(8, 0, false).HAlign, caCenter);
    // The run's figures; only the first line of its SQL text.
    const std::string row[] = {"1", "2001/04/03", "09:05:07", "09:05:08", "00:00:01", "14", "14", "2", SJ("完了"),
                               "select empno,"};
    for (int c = 0; c < 10; ++c) EXPECT_EQ(g.Cells(c, 1), row[c]) << c;
    // The list's copy keeps the SQL and the figures but holds no rows.
    ASSERT_NE(log.dialog.RunAt(1), nullptr);
    EXPECT_EQ(log.dialog.RunAt(1)->Sql, run.Sql);
    EXPECT_EQ(log.dialog.RunAt(1)->RowPos(), 14);
    EXPECT_EQ(log.dialog.RunAt(1)->RowMax(), 0);
    EXPECT_EQ(g.Objects(0, 1), log.dialog.RunAt(1));

    log.dialog.AddRun(run);
    EXPECT_EQ(g.RowCount(), 3);
    EXPECT_EQ(g.Cells(0, 2), "2");
    log.dialog.ClearRuns();
    EXPECT_EQ(g.Objects(0, 1), nullptr);
  }
}

TEST(LogDialog, OpeningMarksTheRunsTheNextWriteDrops) {
  TLog log;
  TSqlGrid& g = *log.dialog.grdLog;
  TSqlInfo run;
  for (int i = 0; i < 13; ++i) {
    MakeRun(run, i, {"select " + std::to_string(i)});
    log.dialog.AddRun(run);
  }
  log.dialog.PrepareOpen();
  for (int r = 1; r <= 13; ++r) {
    SCOPED_TRACE(r);
    const TCellAttr a = g.EffectiveAttr(0, r, false);
    if (r <= 3) {
      EXPECT_EQ(g.Cells(0, r), SJ("削除"));
      EXPECT_EQ(a.FontColor, 0x0000FFu);
      EXPECT_EQ(a.HAlign, caCenter);
    } else {
      EXPECT_EQ(g.Cells(0, r), std::to_string(r - 3));
      EXPECT_EQ(a.FontColor, clBlack);
      EXPECT_EQ(a.HAlign, caRight);
    }
  }
  // A larger limit takes the marks away again.
  log.host->maxLog = 13;
  log.dialog.PrepareOpen();
  EXPECT_EQ(g.Cells(0, 1), "1");
  EXPECT_EQ(g.EffectiveAttr(0, 1, false).FontColor, clBlack);
}

TEST(LogDialog, RestoreWithoutARunOnlyEndsTheBusyState) {
  TLog log;
  log.dialog.Restore();
  EXPECT_EQ(log.host->busy, 0);
  EXPECT_EQ(log.host->news, 0);
  EXPECT_TRUE(log.dialog.isEnabled());
}

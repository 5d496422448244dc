#include "app/RunCommands.h"

#include <QAction>
#include <QDialog>
#include <time.h>

#include <chrono>
#include <functional>

#include "app/ActionModule.h"
#include "app/App.h"
#include "app/DraftKeeper.h"
#include "app/FavouriteList.h"
#include "app/HistoryStore.h"
#include "app/LoginDialog.h"
#include "app/MainWindow.h"
#include "app/SqlCompleter.h"
#include "app/TransactionCommands.h"
#include "views/QtText.h"
#include "core/Sjis.h"
#include "views/SqlGrid.h"

TDatabase::TBusyHandler WindowWhileBusy(TApp& app, std::function<bool()> goOn) {
  return [&app, goOn = std::move(goOn)]() -> TBusyAnswer {
    app.Platform().ProcessMessages();
    const TfrmMain& main = app.Main();
    if (main.IsClosed() || main.ClosePending()) return TBusyAnswer::Abandon();
    return goOn();
  };
}

TDatabase::TBusyHandler BriefWait() {
  using Clock = std::chrono::steady_clock;
  const auto until = Clock::now() + std::chrono::seconds(2);
  return [until]() -> TBusyAnswer {
    const auto now = Clock::now();
    if (now < until) return true;
    return now < until + std::chrono::seconds(1) ? TBusyAnswer(false) : TBusyAnswer::Abandon();
  };
}

void ConnectExecute(TApp& app) {
  TmodAction& actions = app.Action();
  TfrmMain& main = app.Main();
  actions.actConnect->setEnabled(false);
  TfrmLogin& login = app.Login();
  if (login.Ask() != QDialog::Accepted) return;
  TBusy busy(app, TCursor::HourGlass);
  main.SetStatusMsg(SJ("データベースへ接続中..."));
  TSqlManager& engine = main.SqlManager();
  // A server that is slow to answer keeps the window painting.
  engine.WhileBusy = WindowWhileBusy(app, [] { return true; });
  const bool connected = engine.Logon(login.User(), login.Password(), login.Host());
  engine.WhileBusy = nullptr;
  // A close that came meanwhile gave the logon up, or follows it.
  if (main.IsClosed() || main.ClosePending()) return;
  if (connected) {
    main.SetIsConnected(true);
    ConnectionOpened(app);
    ShowTransactionState(app);
    main.SetStatusMsg(SJ("データベースへ接続しました"));
    login.Remember();
    app.Draft().OfferLeftover();
  } else {
    actions.ReportError(ToQ(engine.ErrText));
  }
}

void DisConnectExecute(TApp& app) {
  TfrmMain& main = app.Main();
  if (!SettleTransaction(app, !main.SessionEnding)) return;
  main.SqlManager().CloseQuery();
  WriteFavourites(app);
  WriteHistory(app);
  main.SetIsConnected(false);
  ShowTransactionState(app);
  main.SetStatusMsg(SJ("接続を切断しました"));
}

void StopExecute(TApp& app) { app.Main().SetIsRunning(false); }

namespace {

// The end of every run, the failed ones included: the query's locks let go
// (the row limit and a stop leave rows unread), cursor and flags back, the
// grid focused, and a close that arrived meanwhile carried out.
class TRunEnd {
 public:
  explicit TRunEnd(TApp& app) : app_(app) {}
  ~TRunEnd() {
    TfrmMain& main = app_.Main();
    main.SqlManager().CloseQuery();
    main.SqlManager().WhileBusy = nullptr;
    app_.EndBusy();
    main.SetIsRunning(false);
    main.IsSelect = false;
    // The statement may have begun or ended a transaction, or the server
    // dropped one with the connection.
    ShowTransactionState(app_);
    if (main.GridCanFocus()) main.Grid().setFocus();
    if (main.ClosePending()) main.close();
  }
  TRunEnd(const TRunEnd&) = delete;
  TRunEnd& operator=(const TRunEnd&) = delete;

 private:
  TApp& app_;
};

// Fetches rows until the end, the row limit, a failure or a stop request.
// Pending messages are let through once per time slice rather than after
// every row (handling them costs far more than a row); the stop request is
// still looked at after every row.
// The time, to a few milliseconds: read after every row, so the coarse clock.
struct TCoarseClock {
  using duration = std::chrono::nanoseconds;
  using time_point = std::chrono::time_point<TCoarseClock>;
  static time_point now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC_COARSE, &ts);
    return time_point(std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec));
  }
};

void FetchRows(TApp& app) {
  using Clock = TCoarseClock;
  TfrmMain& main = app.Main();
  TSqlManager& engine = main.SqlManager();
  const auto slice = std::chrono::milliseconds(app.MessageSliceMs);
  auto next = Clock::now() + slice;
  while (engine.FetchRow()) {
    if (!main.IsRunning()) break;
    if (slice.count() <= 0 || Clock::now() >= next) {
      app.Platform().ProcessMessages();
      next = Clock::now() + slice;
    }
  }
}

// A stop that ended the user's own transaction (the database rolled it
// back or the server aborted it) says so: the user has to begin again.
void ReportStopNote(TApp& app) {
  const std::string note = app.Main().SqlManager().StopNote();
  if (!note.empty() && !app.Main().IsClosed()) app.Action().ReportError(ToQ(note));
}

}  // namespace

void WithRunState(TApp& app, const std::function<void()>& body) {
  TfrmMain& main = app.Main();
  app.BeginBusy(TCursor::AppStart);
  TRunEnd end(app);
  // The window may have been closed while messages were let through.
  if (main.IsClosed() || !main.IsConnected()) return;
  body();
  CompletionAfterRun(app);
}

TRunOutcome RunStatement(TApp& app, const TStrings& typed) {
  TfrmMain& main = app.Main();
  TmodAction& actions = app.Action();
  TSqlManager& engine = main.SqlManager();
  TSqlInfo& info = main.SqlInfo();
  const auto failed = [](std::string error) { return TRunOutcome{TRunOutcome::Failed, std::move(error)}; };

  main.SetIsRunning(true);
  main.SetStatusMsg(SJ("ＳＱＬ処理中..."));
  TStrings lines = typed;
  engine.BlankRemarks(lines);
  const bool query = engine.IsQuery(lines);
  const std::string statement = JoinLines(lines);

  // While the database works for long (sorts, counts, searches, updates, or
  // a server is slow to answer), the window still repaints and a stop ends
  // the statement there.
  engine.WhileBusy = WindowWhileBusy(app, [&main] { return main.IsRunning(); });
  if (query) {
    main.IsSelect = true;
    actions.Update(actions.actStop);
    if (!engine.OpenQuery(statement)) return failed(engine.ErrText);
    FetchRows(app);
    // A failure while fetching ends the loop like the last row did; keep the
    // rows but do not call it a success.
    const bool fetchFailed = engine.ErrCode != 0;
    const std::string error = engine.ErrText;
    info.EndTiming();
    const bool completed = main.IsRunning();
    info.SetStatus(fetchFailed ? std::string("Err") : completed ? SJ("完了") : SJ("中断"));
    if (!RecordRun(app, info, typed, true)) return failed({});
    if (fetchFailed) return failed(error);
    main.SetStatusMsg(completed ? SJ("ＳＱＬ処理終了") : SJ("強制終了しました"));
    ReportStopNote(app);
    // The next statement of a script must not meet this one's cursor.
    engine.CloseQuery();
    return {completed ? TRunOutcome::Completed : TRunOutcome::Stopped, {}};
  }
  main.IsSelect = false;
  actions.Update(actions.actStop);
  if (!engine.ExecSql(statement)) return failed(engine.ErrText);
  // A stopped statement was undone by the database: it counts no rows.
  const bool stopped = engine.Stopped();
  info.EndTiming();
  info.SetStatus(stopped ? SJ("中断") : SJ("完了"));
  if (!stopped) SchemaMayHaveChanged(app, statement);
  if (!RecordRun(app, info, typed, false)) return failed({});
  main.SetStatusMsg(stopped ? SJ("強制終了しました") : SJ("ＳＱＬ処理終了"));
  ReportStopNote(app);
  return {stopped ? TRunOutcome::Stopped : TRunOutcome::Completed, {}};
}

void ReportRunError(TApp& app, const std::string& text) {
  if (app.Main().ClosePending() || app.Main().IsClosed())
    app.Main().SetStatusMsg(SJ("エラーが発生しました"));
  else
    app.Action().ReportError(ToQ(text));
}

void StartExecute(TApp& app) {
  WithRunState(app, [&app] {
    const TRunOutcome outcome = RunStatement(app, app.Main().SqlLines());
    if (outcome.Kind == TRunOutcome::Failed && !outcome.Error.empty()) ReportRunError(app, outcome.Error);
  });
}

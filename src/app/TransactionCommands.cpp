#include "app/TransactionCommands.h"

#include <QAction>

#include "app/ActionModule.h"
#include "app/App.h"
#include "app/HistoryStore.h"
#include "app/MainWindow.h"
#include "views/QtText.h"
#include "app/RunCommands.h"
#include "core/Sjis.h"
#include "storage/Options.h"

namespace {

// COMMIT or ROLLBACK as a run of its own: timed in the status panels,
// recorded in the history, stoppable, the server's error shown. False when
// it failed or a stop left the transaction open.
bool EndTransactionRun(TApp& app, bool commit) {
  bool ended = false;
  WithRunState(app, [&] {
    TfrmMain& main = app.Main();
    TSqlManager& engine = main.SqlManager();
    TSqlInfo& info = main.SqlInfo();
    main.SetIsRunning(true);
    main.SetStatusMsg(SJ("ＳＱＬ処理中..."));
    engine.WhileBusy = WindowWhileBusy(app, [&main] { return main.IsRunning(); });
    if (!(commit ? engine.Commit() : engine.Rollback())) {
      ReportRunError(app, engine.ErrText);
      return;
    }
    const bool stopped = engine.Stopped();
    info.EndTiming();
    info.SetStatus(stopped ? SJ("中断") : SJ("完了"));
    if (!RecordRun(app, info, {commit ? "COMMIT" : "ROLLBACK"}, false)) return;
    ended = !engine.InTransaction();
    if (!stopped) {
      main.SetStatusMsg(commit ? SJ("コミットしました") : SJ("ロールバックしました"));
      return;
    }
    main.SetStatusMsg(SJ("強制終了しました"));
    // The user must know whether their changes are still waiting.
    std::string note = engine.StopNote();
    if (note.empty())
      note = !ended ? SJ("停止しました。トランザクションは開いたままで、変更はまだ確定していません。")
                    : commit ? SJ("停止は間に合わず、コミットは完了しました。")
                             : SJ("停止は間に合わず、ロールバックは完了しました。");
    if (!main.IsClosed()) app.Action().ReportError(ToQ(note));
  });
  ShowTransactionState(app);
  return ended;
}

}  // namespace

void ApplyCommitMode(TApp& app) {
  app.Main().SqlManager().SetAutoCommit(app.Options().AutoCommit);
  app.Action().actAutoCommit->setChecked(app.Main().SqlManager().AutoCommit());
}

void AutoCommitExecute(TApp& app) {
  TSqlManager& engine = app.Main().SqlManager();
  const bool on = !engine.AutoCommit();
  if (on && !SettleTransaction(app, true)) {
    app.Action().actAutoCommit->setChecked(false);
    return;
  }
  if (!engine.SetAutoCommit(on)) app.Action().ReportError(ToQ(engine.ErrText));
  app.Options().AutoCommit = engine.AutoCommit();
  app.Action().actAutoCommit->setChecked(engine.AutoCommit());
}

void CommitExecute(TApp& app) { EndTransactionRun(app, true); }

void RollbackExecute(TApp& app) { EndTransactionRun(app, false); }

void ShowTransactionState(TApp& app) {
  TfrmMain& main = app.Main();
  main.ShowUncommitted(main.IsConnected() && main.SqlManager().InTransaction());
  app.Action().actAutoCommit->setChecked(main.SqlManager().AutoCommit());
}

bool SettleTransaction(TApp& app, bool mayAsk) {
  TfrmMain& main = app.Main();
  if (!main.IsConnected() || !main.SqlManager().InTransaction()) return true;
  if (!mayAsk) {
    EndTransactionRun(app, false);
    return true;  // the program ends all the same; the server drops what is left
  }
  switch (app.Platform().AskYesNoCancel(app.AppTitle(), U("コミットされていない変更があります。コミットしますか？"))) {
    case TPlatform::TAnswer::Yes:
      return EndTransactionRun(app, true);
    case TPlatform::TAnswer::No:
      return EndTransactionRun(app, false);
    case TPlatform::TAnswer::Cancel:
      break;
  }
  return false;
}

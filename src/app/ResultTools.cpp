#include "app/ResultTools.h"

#include "app/ActionModule.h"
#include "app/App.h"
#include "app/HistoryStore.h"
#include "app/MainWindow.h"
#include "views/DiffDialog.h"
#include "views/RecordView.h"
#include "views/SortDialog.h"

namespace {

// The history dialog's way into the program, and the rest beside it.
class TMainHost final : public TResultHost {
 public:
  explicit TMainHost(TApp& app) : app_(app), log_(MakeLogHost(app)) {}
  int MaxLog() override { return log_->MaxLog(); }
  std::string LogDir() override { return log_->LogDir(); }
  void BeginBusy() override { log_->BeginBusy(); }
  void EndBusy() override { log_->EndBusy(); }
  void NewMain() override { log_->NewMain(); }
  TSqlInfo& MainResult() override { return log_->MainResult(); }
  void SetSqlLines(const TStrings& lines) override { log_->SetSqlLines(lines); }
  void SetStatusMsg(std::string_view sjis) override { log_->SetStatusMsg(sjis); }
  void RefreshMain() override { log_->RefreshMain(); }
  void FocusMainGrid() override { log_->FocusMainGrid(); }

  TPlatform& Platform() override { return app_.Platform(); }
  QString Title() override { return app_.AppTitle(); }
  TStrings SqlLines() override { return app_.Main().SqlLines(); }
  void ProcessMessages() override { app_.Platform().ProcessMessages(); }
  const TfrmLog& History() override { return app_.LogDialog(); }

 private:
  TApp& app_;
  std::unique_ptr<TLogHost> log_;
};

}  // namespace

std::unique_ptr<TResultHost> MakeResultHost(TApp& app) { return std::make_unique<TMainHost>(app); }

void SortExecute(TApp& app) {
  TfrmSort& dialog = app.SortDialog();
  dialog.Prepare();
  app.Platform().ExecModal(dialog);
  if (!dialog.Error().isEmpty()) app.Action().ReportError(dialog.Error());
}

void DiffExecute(TApp& app) {
  TfrmDiff& dialog = app.DiffDialog();
  dialog.Prepare();
  app.Platform().ExecModal(dialog);
  if (!dialog.Error().isEmpty()) app.Action().ReportError(dialog.Error());
}

void RecordViewExecute(TApp& app) {
  TfrmMain& main = app.Main();
  TfrmRecordView view(main.SqlInfo(), [&app](const QString& text) { app.Platform().SetClipboardText(text); },
                      &main);
  view.ShowRow(main.Row);
  app.CenterOnMain(view);
  app.Platform().ExecModal(view);
}

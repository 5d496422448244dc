#include "app/ResultTools.h"

#include <QPlainTextEdit>

#include "app/ActionModule.h"
#include "app/App.h"
#include "app/MainWindow.h"
#include "app/QtText.h"
#include "storage/Options.h"
#include "storage/ResultFile.h"
#include "views/DiffDialog.h"
#include "views/SortDialog.h"
#include "views/SqlGrid.h"

namespace {

class TMainHost final : public TResultHost {
 public:
  explicit TMainHost(TApp& app) : app_(app) {}
  TPlatform& Platform() override { return app_.Platform(); }
  QString Title() override { return app_.AppTitle(); }
  TSqlInfo& MainInfo() override { return app_.Main().SqlInfo(); }
  TSqlGrid& MainGrid() override { return app_.Main().Grid(); }
  void New() override { app_.Main().New(); }
  void SetStatusMsg(std::string_view sjis) override { app_.Main().SetStatusMsg(sjis); }
  TStrings SqlLines() override { return app_.Main().SqlLines(); }
  void SetSqlLines(const TStrings& lines) override {
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
      if (i) text += '\n';
      text += lines[i];
    }
    app_.Main().edtSql->setPlainText(ToQ(text));
  }
  void Refresh() override {
    app_.Main().update();
    app_.Platform().ProcessMessages();
  }
  void FocusGrid() override {
    if (app_.Main().GridCanFocus()) app_.Main().Grid().setFocus();
  }
  void BeginBusy() override { app_.BeginBusy(TCursor::HourGlass); }
  void EndBusy() override { app_.EndBusy(); }
  void ProcessMessages() override { app_.Platform().ProcessMessages(); }
  int MaxLog() override { return app_.Options().MaxLog; }
  TSqlGrid& HistoryTable() override { return noHistory_; }
  int RunCount() override { return 0; }
  TSqlInfo* RunAt(int) override { return nullptr; }
  bool LoadHistoryCsv(TSqlInfo& info) override { return ::LoadHistoryCsv(info, app_.Files().ExeDir); }

 private:
  TApp& app_;
  TSqlGrid noHistory_;
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

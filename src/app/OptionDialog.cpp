#include "app/OptionDialog.h"

#include "app/ActionModule.h"
#include "app/App.h"
#include "app/MainWindow.h"
#include "app/QtText.h"
#include "app/WindowPlacement.h"

namespace {

void ApplyDialogBlock(const TDialogBlock& block, TFileDialogSpec& dialog) {
  if (!block.Present) return;
  dialog.InitialDir = ToQ(block.Path);
  dialog.FilterIndex = block.SecondFilter ? 2 : 1;
}

void CollectDialogBlock(const TFileDialogSpec& dialog, TDialogBlock& block) {
  block.Present = true;
  block.Path = FromQ(dialog.InitialDir);
  block.SecondFilter = dialog.FilterIndex != 1;
}

// The save dialog of a pair starts where the open dialog does.
void CopyDialog(const TFileDialogSpec& from, TFileDialogSpec& to) {
  to.InitialDir = from.InitialDir;
  to.FilterIndex = from.FilterIndex;
}

}  // namespace

TfrmOption::TfrmOption(TApp& app) : QDialog(&app.Main()), app_(app) {
  setObjectName(QStringLiteral("frmOption"));
  setWindowTitle(U("オプション"));
  app.CenterOnMain(*this);
  std::string message = ReadOptionFile(app.Files().OptionFile, file_);
  const TMainFormLayout& main = file_.Layout.MainForm;
  if (main.Present) {
    app.Main().ApplyLayout(main);
    TmodAction& actions = app.Action();
    ApplyDialogBlock(main.SqlDialog, actions.OpenSqlDialog);
    CopyDialog(actions.OpenSqlDialog, actions.SaveSqlDialog);
    ApplyDialogBlock(main.ResultDialog, actions.OpenResultDialog);
    CopyDialog(actions.OpenResultDialog, actions.SaveResultDialog);
  }
  ApplyDialogLayouts(app, file_.Layout);
  if (!message.empty()) app.Platform().ErrorBox(app.AppTitle(), ToQ(message));
}

TfrmOption::~TfrmOption() {
  TMainFormLayout& main = file_.Layout.MainForm;
  app_.Main().CollectLayout(main);
  CollectDialogBlock(app_.Action().OpenSqlDialog, main.SqlDialog);
  CollectDialogBlock(app_.Action().OpenResultDialog, main.ResultDialog);
  CollectDialogLayouts(app_, file_.Layout);
  std::string message;
  if (!WriteOptionFile(app_.Files().OptionFile, file_, message))
    app_.Platform().ErrorBox(app_.AppTitle(), ToQ(message));
}

#include "app/FileCommands.h"

#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTextDocument>

#include "app/ActionModule.h"
#include "app/App.h"
#include "app/MainWindow.h"
#include "app/QtText.h"
#include "core/Sjis.h"
#include "storage/ResultFile.h"
#include "views/SqlGrid.h"

namespace {

std::string Native(const QString& fileName) { return fileName.toUtf8().toStdString(); }

// The edit area's text with "\n" between lines, exactly as typed: the plain
// text form would turn no-break spaces into blanks.
std::string EditText(const TfrmMain& main) {
  QString text = main.edtSql->document()->toRawText();
  text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  text.replace(QChar::LineSeparator, QLatin1Char('\n'));
  return Native(text);
}

// Runs a file dialog on a copy of spec, so that only the filter the user
// chose is kept when the command then fails; the directory moves on success
// (TakeFile).
bool AskFile(TApp& app, TFileDialogSpec& spec, bool save, QString& fileName) {
  TFileDialogSpec shown = spec;
  const bool ok = save ? app.Platform().SaveFileDialog(shown, fileName) : app.Platform().OpenFileDialog(shown, fileName);
  if (!ok) return false;
  spec.FilterIndex = shown.FilterIndex;
  fileName = QFileInfo(fileName).absoluteFilePath();
  return true;
}

// After a successful use of `used`: both dialogs of its pair start in the
// file's directory and the other one takes over the chosen filter. A folder
// whose name the settings (Shift_JIS) cannot hold would be kept as a name
// of "?" that names no folder: the dialogs stay where they were.
void TakeFile(const QString& fileName, TFileDialogSpec& used, TFileDialogSpec& other) {
  const QString folder = QFileInfo(fileName).absolutePath();
  if (FitsSjis(folder)) used.InitialDir = other.InitialDir = folder;
  other.FilterIndex = used.FilterIndex;
}

// The encoding the edit area's text is saved in: that of the file it came
// from while it still belongs to that file, Shift_JIS for a new text.
TSqlEncoding CurrentEncoding(TApp& app) {
  const TSqlFileMemo& memo = app.Action().SqlFile;
  const std::string& path = app.Main().PathFile();
  return !path.empty() && path == memo.SjisPath ? memo.Encoding : TSqlEncoding::Sjis;
}

// The encoding the text is written in; false when it must not be written.
// Shift_JIS would put "?" for a character it cannot hold, so the user is
// asked first whether to keep the text as UTF-8 (with the mark, which reads
// back as UTF-8 whatever the text holds).
bool ChooseEncoding(TApp& app, const std::string& utf8Text, TSqlEncoding& encoding) {
  encoding = CurrentEncoding(app);
  if (encoding != TSqlEncoding::Sjis || SjisCanHold(utf8Text)) return true;
  if (!app.Platform().AskYesNo(app.AppTitle(), U("ＳＱＬ文に Shift_JIS で保存できない文字が含まれています。\n"
                                                  "UTF-8 で保存しますか？"))) {
    // The user declined: nothing was written, and the message says so.
    app.Main().SetStatusMsg(SJ("保存しませんでした"));
    return false;
  }
  encoding = TSqlEncoding::Utf8Bom;
  return true;
}

void Remember(TApp& app, const QString& fileName, TSqlEncoding encoding) {
  std::string sjis = FromQ(fileName);
  app.Main().SetPathFile(sjis);
  app.Action().SqlFile = {fileName, std::move(sjis), encoding};
}

// The steps of open inside the busy state; true when the file was read.
bool OpenFile(TApp& app) {
  TBusy busy(app, TCursor::HourGlass);
  TmodAction& actions = app.Action();
  TfrmMain& main = app.Main();
  QString fileName;
  if (!AskFile(app, actions.OpenSqlDialog, false, fileName)) return false;
  main.New();
  main.SetStatusMsg(SJ("ＳＱＬを読込み中..."));
  std::string text;
  TSqlEncoding encoding = TSqlEncoding::Sjis;
  if (!ReadSqlFile(Native(fileName), text, encoding)) {
    actions.ReportError(U("ＳＱＬファイル読込み時にエラーが発生しました。"));
    return false;
  }
  main.edtSql->setPlainText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  main.edtSql->document()->setModified(false);
  Remember(app, fileName, encoding);
  TakeFile(fileName, actions.OpenSqlDialog, actions.SaveSqlDialog);
  main.SetStatusMsg(SJ("ＳＱＬを読込みました"));
  return true;
}

}  // namespace

void OpenExecute(TApp& app) {
  // The edit area takes the focus once the busy state has enabled it again.
  if (OpenFile(app)) app.Main().FocusSql();
}

void SaveExecute(TApp& app) {
  TfrmMain& main = app.Main();
  if (main.PathFile().empty()) {
    SaveAsExecute(app);
    return;
  }
  TBusy busy(app, TCursor::HourGlass);
  const std::string text = EditText(main);
  TSqlEncoding encoding;
  if (!ChooseEncoding(app, text, encoding)) return;
  main.SetStatusMsg(SJ("ＳＱＬを書込み中..."));
  const TSqlFileMemo& memo = app.Action().SqlFile;
  const QString fileName = main.PathFile() == memo.SjisPath ? memo.NativePath : ToQ(main.PathFile());
  if (!WriteSqlFile(Native(fileName), text, encoding)) {
    app.Action().ReportError(U("ＳＱＬファイル書込み時にエラーが発生しました。"));
    return;
  }
  if (encoding != CurrentEncoding(app)) Remember(app, fileName, encoding);
  main.SetStatusMsg(SJ("ＳＱＬを書込みました"));
}

void SaveAsExecute(TApp& app) {
  TBusy busy(app, TCursor::HourGlass);
  TmodAction& actions = app.Action();
  TfrmMain& main = app.Main();
  QString fileName;
  if (!AskFile(app, actions.SaveSqlDialog, true, fileName)) return;
  const std::string text = EditText(main);
  TSqlEncoding encoding;
  if (!ChooseEncoding(app, text, encoding)) return;
  main.SetStatusMsg(SJ("ＳＱＬを書込み中..."));
  app.Platform().ProcessMessages();
  if (!WriteSqlFile(Native(fileName), text, encoding)) {
    actions.ReportError(U("ＳＱＬファイル書込み時にエラーが発生しました。"));
    return;
  }
  Remember(app, fileName, encoding);
  TakeFile(fileName, actions.SaveSqlDialog, actions.OpenSqlDialog);
  main.SetStatusMsg(SJ("ＳＱＬを書込みました"));
}

void ImportExecute(TApp& app) {
  TBusy busy(app, TCursor::HourGlass);
  TmodAction& actions = app.Action();
  TfrmMain& main = app.Main();
  QString fileName;
  if (!AskFile(app, actions.OpenResultDialog, false, fileName)) return;
  main.New();
  main.SetStatusMsg(SJ("実行結果を読込み中..."));
  TSqlInfo& info = main.SqlInfo();
  if (!OpenResultFile(info, Native(fileName))) {
    actions.ReportError(U("実行結果ファイル読込み時にエラーが発生しました。"));
    return;
  }
  std::string text;
  for (size_t i = 0; i < info.Sql.size(); ++i) {
    if (i > 0) text += '\n';
    text += info.Sql[i];
  }
  main.edtSql->setPlainText(ToQ(text));
  main.edtSql->document()->setModified(false);
  TakeFile(fileName, actions.OpenResultDialog, actions.SaveResultDialog);
  main.SetStatusMsg(SJ("実行結果を読込みました"));
  if (main.GridCanFocus()) main.Grid().setFocus();
}

void ExportExecute(TApp& app) {
  TBusy busy(app, TCursor::HourGlass);
  TmodAction& actions = app.Action();
  TfrmMain& main = app.Main();
  QString fileName;
  if (!AskFile(app, actions.SaveResultDialog, true, fileName)) return;
  main.SetStatusMsg(SJ("実行結果を書込み中..."));
  app.Platform().ProcessMessages();
  // The file carries the text that stands in the edit area now.
  TSqlInfo& info = main.SqlInfo();
  const TStrings lines = main.SqlLines();
  info.SetSql(&lines);
  const TCsvEncoding encoding =
      actions.SaveResultDialog.FilterIndex == TmodAction::kUtf8CsvFilter ? TCsvEncoding::Utf8 : TCsvEncoding::Sjis;
  if (!SaveResultFile(info, Native(fileName), encoding)) {
    actions.ReportError(U("実行結果ファイル書込み時にエラーが発生しました。"));
    return;
  }
  TakeFile(fileName, actions.SaveResultDialog, actions.OpenResultDialog);
  main.SetStatusMsg(SJ("実行結果を書込みました"));
}

#include "app/HistoryStore.h"

#include <cstdio>
#include <filesystem>
#include <string_view>
#include <vector>
#include <exception>
#include <unordered_set>

#include "app/ActionModule.h"
#include "app/App.h"
#include "app/MainWindow.h"
#include "app/OptionDialog.h"
#include "views/QtText.h"
#include "app/StatusBar.h"
#include "core/Sjis.h"
#include "storage/ResultFile.h"
#include "storage/AtomicFile.h"
#include "storage/ResultXml.h"
#include "storage/StorageError.h"
#include "storage/TinyXml.h"
#include "views/LogDialog.h"
#include "views/SqlGrid.h"

namespace {

class TAppLogHost final : public TLogHost {
 public:
  explicit TAppLogHost(TApp& app) : app_(app) {}
  int MaxLog() override { return app_.Options().MaxLog; }
  std::string LogDir() override { return ::LogDir(app_); }
  void BeginBusy() override { app_.BeginBusy(TCursor::HourGlass); }
  void EndBusy() override { app_.EndBusy(); }
  void NewMain() override { app_.Main().New(); }
  TSqlInfo& MainResult() override { return app_.Main().SqlInfo(); }
  void SetSqlLines(const TStrings& lines) override { app_.Main().SetSqlLines(lines); }
  void SetStatusMsg(std::string_view sjis) override { app_.Main().SetStatusMsg(sjis); }
  void RefreshMain() override {
    app_.Main().update();
    app_.Main().StatusBar().repaint();
  }
  void FocusMainGrid() override {
    if (app_.Main().GridCanFocus()) app_.Main().Grid().setFocus();
  }

 private:
  TApp& app_;
};

bool RecordsNothing(int logOption) { return logOption != 0 && logOption != 1; }

constexpr std::string_view kIndexSuffix = "_Log.xml";

// yyyymmdd_hhmmss.csv, as RunFile names a run's result.
bool IsRunFileName(std::string_view name) {
  if (name.size() != 19 || name.substr(8, 1) != "_" || name.substr(15) != ".csv") return false;
  for (size_t i = 0; i < 15; ++i)
    if (i != 8 && (name[i] < '0' || name[i] > '9')) return false;
  return true;
}

bool IsIndexName(std::string_view name) { return name.size() > kIndexSuffix.size() && name.ends_with(kIndexSuffix); }

// Adds the run files that an index names; false when it cannot be read.
bool AddNamedRuns(const std::string& index, const std::string& dir, std::unordered_set<std::string>& named) {
  TTinyXml doc;
  try {
    doc.LoadFromFile(index);
  } catch (const std::exception&) {
    return false;
  }
  const int root = doc.FindNext(0, "Log");
  if (root == -1) return false;
  TSqlInfo work;
  for (int row = doc.FindChild(root, "Row"); row != -1; row = doc.FindNext(row, "Row")) {
    work.Clear();
    try {
      ReadInfoSection(work, doc, row);
    } catch (const TStorageError&) {
      continue;
    }
    named.insert(RunFile(work, dir));
  }
  return true;
}

}  // namespace

std::string LogDir(TApp& app) {
  const TOptions& o = app.Options();
  if (o.PathOption == 1 && !o.Path.empty()) return SjisToUtf8(o.Path) + "/";
  return app.Files().DefaultLogDir;
}

std::string LogFile(TApp& app) { return LogDir(app) + app.Files().BaseName + "_Log.xml"; }

std::string RunFile(TApp& app, const TSqlInfo& run) { return RunFile(run, LogDir(app)); }

bool RecordRun(TApp& app, TSqlInfo& info, const TStrings& lines, bool isQuery) {
  const TOptions& o = app.Options();
  if (RecordsNothing(o.LogOption)) return true;
  TfrmMain& main = app.Main();
  main.SetStatusMsg(SJ("履歴情報を保存中..."));
  info.SetSql(&lines);
  app.LogDialog().AddRun(info);
  if (o.LogOption == 0 && isQuery && !SaveHistoryCsv(info, LogDir(app))) {
    app.Action().ReportError(U("実行結果ファイル書込み時にエラーが発生しました。"));
    return false;
  }
  main.SetStatusMsg(SJ("履歴情報を保存しました"));
  return true;
}

void ReadHistory(TApp& app) {
  TfrmMain& main = app.Main();
  TfrmLog& log = app.LogDialog();
  main.SetStatusMsg(SJ("履歴ファイルを読込み中..."));
  log.ClearRuns();
  TTinyXml doc;
  try {
    doc.LoadFromFile(LogFile(app));
  } catch (const std::exception&) {
    main.SetStatusMsg({});
    return;
  }
  const int root = doc.FindNext(0, "Log");
  if (root == -1) return;
  TSqlInfo work;
  bool added = false;
  for (int row = doc.FindChild(root, "Row"); row != -1; row = doc.FindNext(row, "Row")) {
    const int sql = doc.FindChild(row, "Sql");
    if (sql == -1) continue;
    // Each run starts from nothing, so a short section never lends it the
    // figures of the run before.
    work.Clear();
    ReadSqlSection(work, doc, sql);
    if (work.Sql.empty()) continue;
    try {
      ReadInfoSection(work, doc, row);
      ReadHeaderSection(work, doc, row);
    } catch (const TStorageError&) {
      continue;  // a value no run can have: the row is damaged
    }
    log.AddRun(work);
    added = true;
  }
  // Once for the whole index: the message repaints the status bar.
  if (added) main.SetStatusMsg(SJ("履歴ファイルを読込みました"));
}

bool WriteHistory(TApp& app) {
  TfrmMain& main = app.Main();
  TfrmLog& log = app.LogDialog();
  main.SetStatusMsg(SJ("履歴ファイルを書込み中..."));
  const int count = log.RunCount();
  if (count == 0) return true;
  const int maxLog = app.Options().MaxLog;
  const int drop = maxLog < count ? count - maxLog : 0;
  const std::string dir = LogDir(app);

  TTinyXml doc;
  doc.AddNode(xnDeclaration, "", "", 0);
  doc.AddNode(xnComment, "", SJ("注意！！このファイルを変更しないで下さい。"), 0);
  doc.AddNode(xnComment, "", SJ("履歴"), 0);
  doc.AddNode(xnStartTag, "Log", "", 0);
  // Runs started in the same second share one file: it goes only when no
  // kept run names it.
  std::unordered_set<std::string> kept;
  for (int i = drop + 1; i <= count; ++i) {
    const TSqlInfo* run = log.RunAt(i);
    if (!run) continue;
    kept.insert(RunFile(*run, dir));
    doc.AddNode(xnStartTag, "Row", "", 1);
    WriteSqlSection(doc, *run, 2);
    WriteInfoSection(doc, *run, 2);
    WriteHeaderSection(doc, *run, 2);
    doc.AddNode(xnEndTag, "Row", "", 1);
  }
  doc.AddNode(xnEndTag, "Log", "", 0);
  try {
    doc.SaveToFile(LogFile(app), kPrivateFileMode);
  } catch (const TStorageError&) {
    app.Action().ReportError(U("履歴ファイル書込み時にエラーが発生しました。"));
    return false;
  }
  // Only once the new index stands: the old one still names these files.
  for (int i = 1; i <= drop; ++i) {
    if (const TSqlInfo* run = log.RunAt(i)) {
      const std::string file = RunFile(*run, dir);
      if (!kept.contains(file)) std::remove(file.c_str());
    }
  }
  main.SetStatusMsg(SJ("履歴ファイルを書込みました"));
  return true;
}

void SweepHistoryDir(TApp& app) {
  const std::string dir = LogDir(app);
  RemoveDeadTemporaries(dir, [](std::string_view base) { return IsRunFileName(base) || IsIndexName(base); });
  // A copy under another name may still hold runs it has not indexed.
  if (app.Platform().OtherInstanceRuns(app.Files().InstanceName)) return;
  std::error_code ec;
  std::vector<std::string> runFiles;
  std::unordered_set<std::string> named;
  // Every index in the folder counts: a renamed copy may keep its history
  // here too. One that is there but cannot be read names files we cannot
  // know, so nothing is removed.
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (IsRunFileName(name) && entry.is_regular_file(ec) && !entry.is_symlink(ec)) runFiles.push_back(dir + name);
    else if (IsIndexName(name) && !AddNamedRuns(dir + name, dir, named)) return;
  }
  if (ec) return;
  // And what this session's list holds, read from the index just now.
  TfrmLog& log = app.LogDialog();
  for (int i = 1; i <= log.RunCount(); ++i)
    if (const TSqlInfo* run = log.RunAt(i)) named.insert(RunFile(*run, dir));
  for (const std::string& file : runFiles)
    if (!named.contains(file)) std::remove(file.c_str());
}

std::unique_ptr<TLogHost> MakeLogHost(TApp& app) { return std::make_unique<TAppLogHost>(app); }

void LogExecute(TApp& app) {
  TfrmLog& log = app.LogDialog();
  log.PrepareOpen();
  app.Platform().ExecModal(log);
}

// The history and the favourites through the real program, offscreen:
// writing and reading a history index of 999 runs, writing and reading a
// favourites file of 1,000 statements, and bringing back a run of 100,000
// rows from its CSV file into the main grid. Each figure is the median of
// several rounds, printed next to a baseline measured in the same run: the
// bare file write and read of the same bytes, and the CSV parse of the same
// file into a result set without a grid.
//
//   history_bench [rounds]    (default 7)
//
// QT_QPA_PLATFORM=offscreen needs no display.

#include <sqlite3.h>

#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "BenchPlatform.h"
#include "app/ActionModule.h"
#include "app/App.h"
#include "app/FavouriteList.h"
#include "app/HistoryStore.h"
#include "app/MainWindow.h"
#include "core/FileLocations.h"
#include "core/SqlInfo.h"
#include "storage/AtomicFile.h"
#include "storage/Options.h"
#include "storage/ResultFile.h"
#include "views/LogDialog.h"
#include "views/SqlGrid.h"

#include "BenchTiming.h"

namespace {

using Clock = std::chrono::steady_clock;

void Exec(const std::string& db, const std::string& sql) {
  sqlite3* h = nullptr;
  sqlite3_open(db.c_str(), &h);
  char* err = nullptr;
  if (sqlite3_exec(h, sql.c_str(), nullptr, nullptr, &err) != SQLITE_OK) std::fprintf(stderr, "%s\n", err);
  sqlite3_free(err);
  sqlite3_close(h);
}

void MakeRun(TSqlInfo& run, int i) {
  run.Clear();
  run.SetDate(EncodeDate(2001, 4, 3) + i / 86400);
  run.SetStartTime(EncodeTime(0, 0, 0) + (i % 86400) / 86400.0);
  run.SetEndTime(run.StartTime());
  run.SetStatus("OK");
  run.SetRowPos(1000);
  run.SetRowCount(1000);
  run.SetColCount(8);
  for (int c = 0; c < 8; ++c) {
    run.SetColName(c, "COLUMN_" + std::to_string(c));
    run.DefineColumn(c, c % 2 ? otVarchar2 : otNumber, 22, 10, 2);
  }
  run.Sql = {"select *", "  from T where N > " + std::to_string(i) + " and NAME like 'a%' -- & <>"};
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  QApplication qapp(argc, argv);
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("history-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string exe = (dir / "quorrel").string();
  const std::string db = (dir / "quorrel.db").string();
  Exec(db,
       "CREATE TABLE T (N INTEGER, NAME VARCHAR2(20), V NUMBER(9,2), D VARCHAR2(30));"
       "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < 100000) "
       "INSERT INTO T SELECT n, 'name' || n, n / 4.0, 'a longer text, with a comma' FROM s;");

  TBenchPlatform platform(dir.string());
  {
    TApp app(platform, MakeFileLocations(exe));
    if (!app.Start()) return 1;
    app.MessageSliceMs = 4;
    TfrmMain& main = app.Main();
    main.show();
    TmodAction& actions = app.Action();
    platform.OnModal = [](QDialog&) { return int(QDialog::Accepted); };
    actions.Execute(actions.actConnect);
    if (!main.IsConnected()) return 1;
    app.Options().MaxRow = 100000;
    app.Options().MaxLog = 999;

    // ---- history index of 999 runs
    TfrmLog& log = app.LogDialog();
    TSqlInfo run;
    for (int i = 0; i < 999; ++i) {
      MakeRun(run, i);
      log.AddRun(run);
    }
    const double write = Median(rounds, [&] { WriteHistory(app); });
    const double read = Median(rounds, [&] { ReadHistory(app); });
    std::string bytes;
    ReadWholeFile(LogFile(app), bytes);
    const double rawWrite = Median(rounds, [&] { WriteFileAtomic(LogFile(app) + ".copy", bytes); });
    const double rawRead = Median(rounds, [&] {
      std::string b;
      ReadWholeFile(LogFile(app), b);
    });
    std::printf("history index, %d runs, %zu bytes: write %.1f ms (bare file write %.1f ms), read %.1f ms (bare file read %.2f ms)\n",
                log.RunCount(), bytes.size(), write, rawWrite, read, rawRead);

    // ---- favourites of 1,000 statements
    QListWidget& list = *main.lstFreq;
    for (int i = 0; i < 1000; ++i) {
      main.SetSqlLines({"select *", "  from T", " where N = " + std::to_string(i) + " and NAME <> 'x&y'"});
      FreqAddExecute(app);
    }
    const double fwrite = Median(rounds, [&] { WriteFavourites(app); });
    const double fread = Median(rounds, [&] {
      ClearListItems(list);
      ReadFavourites(app);
    });
    ReadWholeFile(app.Files().FreqFile, bytes);
    const double frawWrite = Median(rounds, [&] { WriteFileAtomic(app.Files().FreqFile + ".copy", bytes); });
    std::printf("favourites, %d statements, %zu bytes: write %.1f ms (bare file write %.1f ms), read %.1f ms\n",
                list.count(), bytes.size(), fwrite, frawWrite, fread);

    // ---- bringing back a run of 100,000 rows
    log.ClearRuns();
    main.SetSqlLines({"select * from T"});
    actions.Execute(actions.actStart);
    if (log.RunCount() != 1 || main.SqlInfo().RowPos() != 100000) {
      std::fprintf(stderr, "the run did not record 100000 rows\n");
      return 1;
    }
    platform.OnModal = [](QDialog& d) {
      auto& dialog = static_cast<TfrmLog&>(d);
      dialog.grdLog->SetRow(1);
      dialog.rdoWithResult->setChecked(true);
      dialog.btnOk->click();
      return dialog.result();
    };
    const double restore = Median(rounds, [&] {
      actions.Execute(actions.actLog);
      QCoreApplication::processEvents();
    });
    if (main.SqlInfo().RowMax() != 100000) std::fprintf(stderr, "restored %d rows\n", main.SqlInfo().RowMax());
    const std::string csv = RunFile(app, *log.RunAt(1));
    const double parse = Median(rounds, [&] {
      TSqlInfo plain;
      OpenResultFile(plain, csv);
    });
    std::printf("bringing back 100000 rows x 4 columns: %.0f ms (CSV parse without a grid %.0f ms)\n", restore, parse);
    actions.Execute(actions.actDisConnect);
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}

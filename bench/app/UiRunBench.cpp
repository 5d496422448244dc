// Runs a query through the real main window and its run command, offscreen,
// on a generated SQLite database, and prints rows per second, peak memory and
// the longest stretch without message handling, next to the time that
// `sqlite3 -csv` needs for the same query (the baseline, measured in the
// same run). Then the same query once more, stopped by a timer while it runs.
//
//   ui_run_bench [rows] [profile]    (default 1000000 rows of 8 columns;
//                                     "profile": the run only, for perf)
//
// QT_QPA_PLATFORM=offscreen needs no display.

#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/ActionModule.h"
#include "app/App.h"
#include "app/MainWindow.h"
#include "app/OptionDialog.h"
#include "app/QtPlatform.h"
#include "core/FileLocations.h"
#include "core/Session.h"
#include "core/SqlManager.h"
#include "views/SqlGrid.h"
#include "BenchMemory.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

// Processor time (user + system) of this process or of its finished
// children: a busy shared machine disturbs it far less than wall time.
double CpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return Seconds(u.ru_utime) + Seconds(u.ru_stime);
}

struct TTiming {
  double Wall = 0;
  double Cpu = 0;
};

// The real desktop, except that the login dialog is answered at once and
// message handling is timed.
class TBenchPlatform final : public TPlatform {
 public:
  explicit TBenchPlatform(std::string lockDir) : qt_(std::move(lockDir)) {}
  void ErrorBox(const QString& title, const QString& text) override {
    std::fprintf(stderr, "error box: %s: %s\n", title.toUtf8().constData(), text.toUtf8().constData());
  }
  bool OpenFileDialog(TFileDialogSpec&, QString&) override { return false; }
  bool SaveFileDialog(TFileDialogSpec&, QString&) override { return false; }
  bool PickColor(QColor&) override { return false; }
  bool PickFolder(const QString&, QString&) override { return false; }
  bool ClipboardHasText() override { return qt_.ClipboardHasText(); }
  QString ClipboardText() override { return qt_.ClipboardText(); }
  void SetClipboardText(const QString& text) override { qt_.SetClipboardText(text); }
  void ShowHelp(const QString&) override {}
  void ProcessMessages() override {
    const auto now = Clock::now();
    if (calls > 0) longestGap = std::max(longestGap, std::chrono::duration<double>(now - last).count());
    ++calls;
    qt_.ProcessMessages();
    last = Clock::now();
    inMessages += std::chrono::duration<double>(last - now).count();
  }
  TCursor Cursor() const override { return qt_.Cursor(); }
  void SetCursor(TCursor cursor) override { qt_.SetCursor(cursor); }
  int ExecModal(QDialog&) override { return QDialog::Accepted; }
  TLockResult LockInstance(const std::string& name, std::unique_ptr<TInstanceLock>& lock) override {
    return qt_.LockInstance(name, lock);
  }

  long calls = 0;
  double longestGap = 0;
  double inMessages = 0;
  Clock::time_point last;

 private:
  TQtPlatform qt_;
};

bool MakeDatabase(const std::string& path, int rows) {
  sqlite3* db = nullptr;
  if (sqlite3_open(path.c_str(), &db) != SQLITE_OK) return false;
  const std::string sql =
      "PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF;"
      "CREATE TABLE T (ID INTEGER, CODE CHAR(6), NAME VARCHAR2(20), CITY VARCHAR2(12), QTY NUMBER(6),"
      " PRICE NUMBER(9,2), CREATED DATE, NOTE VARCHAR2(40));"
      "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < " +
      std::to_string(rows) +
      ") INSERT INTO T SELECT n, printf('C%05d', n % 100000), '顧客' || n,"
      " CASE n % 4 WHEN 0 THEN '東京' WHEN 1 THEN '大阪' WHEN 2 THEN '名古屋' ELSE 'Sapporo' END,"
      " n % 1000, (n % 100000) / 100.0, printf('2024-%02d-%02d 12:%02d:00', n % 12 + 1, n % 28 + 1, n % 60),"
      " 'note ' || (n * 7 % 1000) FROM s;";
  char* error = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
  if (rc != SQLITE_OK) std::fprintf(stderr, "sqlite: %s\n", error ? error : "?");
  sqlite3_free(error);
  sqlite3_close(db);
  return rc == SQLITE_OK;
}

TTiming Baseline(const std::string& db, const std::string& query) {
  const std::string command = "sqlite3 -csv '" + db + "' '" + query + "' > /dev/null";
  const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
  const auto t0 = Clock::now();
  int rc = std::system(command.c_str());
  TTiming t{Since(t0), CpuSeconds(RUSAGE_CHILDREN) - cpu0};
  return rc == 0 ? t : TTiming{-1, -1};
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000000;
  const bool profile = argc > 2 && std::string(argv[2]) == "profile";
  QApplication application(argc, argv);
  application.setQuitOnLastWindowClosed(false);

  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("quorrel-ui-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string exe = (dir / "quorrel").string();
  const std::string db = (dir / "quorrel.db").string();
  const std::string query = "SELECT * FROM T";

  auto t0 = Clock::now();
  if (!MakeDatabase(db, rows)) return 1;
  std::printf("database: %d rows x 8 columns generated in %.2f s\n", rows, Since(t0));

  // The baseline twice; the faster counts (the first warms the file cache).
  TTiming first = Baseline(db, profile ? "SELECT 1" : query);
  TTiming second = Baseline(db, profile ? "SELECT 1" : query);
  const TTiming baseline{std::min(first.Wall, second.Wall), std::min(first.Cpu, second.Cpu)};
  if (baseline.Wall < 0) {
    std::fprintf(stderr, "sqlite3 shell not available\n");
    return 1;
  }

  // The engine alone, cells handed to nobody: what the window adds on top.
  if (!profile) {
    TSqlManager engine([&db] { return CreateSession(db); });
    TSqlInfo info;
    engine.SqlInfo = &info;
    engine.MaxRow = [] { return 1000000; };
    if (engine.CreateSession() && engine.Logon("", "", "") && engine.OpenQuery(query + "\r\n")) {
      const double cpu0 = CpuSeconds(RUSAGE_SELF);
      t0 = Clock::now();
      while (engine.FetchRow()) {
      }
      std::printf("engine alone:       %.3f s, cpu %.3f s (%d rows)\n", Since(t0), CpuSeconds(RUSAGE_SELF) - cpu0,
                  info.RowMax());
    }
  }

  int status = 0;
  {
    TBenchPlatform platform(dir.string());
    TApp app(platform, MakeFileLocations(exe));
    if (!app.Start()) return 1;
    app.Options().MaxRow = 1000000;
    TfrmMain& main = app.Main();
    main.resize(1200, 800);
    main.show();
    application.processEvents();
    TmodAction& actions = app.Action();
    actions.Execute(actions.actConnect);
    if (!main.IsConnected()) return 1;
    main.edtSql->setPlainText(QString::fromStdString(query));

    const long rssBefore = CurrentRssBytes();
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    t0 = Clock::now();
    actions.Execute(actions.actStart);
    const TTiming run{Since(t0), CpuSeconds(RUSAGE_SELF) - cpu0};
    const long rssAfter = CurrentRssBytes();
    const int fetched = main.SqlInfo().RowMax();
    std::printf("sqlite3 -csv:       %.3f s, cpu %.3f s (%.0f rows/s)\n", baseline.Wall, baseline.Cpu,
                rows / baseline.Wall);
    std::printf("run command:        %.3f s, cpu %.3f s (%.0f rows/s), %d rows, status %s\n", run.Wall, run.Cpu,
                fetched / run.Wall, fetched, main.SqlInfo().Status() == "Err" ? "Err" : "ok");
    const double ratio = run.Cpu / baseline.Cpu;
    std::printf("ratio run/baseline: %.2f cpu, %.2f wall (limit 2.00) %s\n", ratio, run.Wall / baseline.Wall,
                ratio <= 2 ? "OK" : "SLOW");
    std::printf("message handling:   %ld times, %.3f s in all, longest gap %.1f ms\n", platform.calls,
                platform.inMessages, platform.longestGap * 1000);
    std::printf("memory:             %.1f MB more resident after the run (%.1f bytes per cell), peak %.1f MB\n",
                (rssAfter - rssBefore) / 1048576.0, double(rssAfter - rssBefore) / (double(fetched) * 8),
                PeakRssBytes() / 1048576.0);
    if (ratio > 2) status = 2;

    // Responsiveness: a timer asks for a stop while the query runs.
    platform.calls = 0;
    platform.longestGap = 0;
    Clock::time_point stopAsked;
    QTimer::singleShot(300, &main, [&] {
      stopAsked = Clock::now();
      actions.Execute(actions.actStop);
    });
    actions.Execute(actions.actStart);
    std::printf("stop after 300 ms:  run ended %.1f ms after the stop, %d rows, longest gap %.1f ms\n",
                std::chrono::duration<double>(Clock::now() - stopAsked).count() * 1000, main.SqlInfo().RowMax(),
                platform.longestGap * 1000);

    // A full repaint of the window in the middle of the result.
    main.Grid().SetTopRow(std::max(1, main.SqlInfo().RowMax() / 2));
    application.processEvents();
    t0 = Clock::now();
    const int frames = 50;
    for (int i = 0; i < frames; ++i) {
      main.Grid().SetTopRow(main.Grid().TopRow() + 20);
      main.repaint();
    }
    std::printf("window repaint:     %.2f ms per frame while scrolling\n", Since(t0) * 1000 / frames);
  }
  std::filesystem::remove_all(dir);
  return status;
}

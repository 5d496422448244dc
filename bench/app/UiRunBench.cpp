// Runs queries through the real main window and its run command, offscreen,
// and prints each next to the command-line client that prints the same rows
// (the baseline), measured in the same round; medians of several rounds.
//
//   ui_run_bench [rows] [profile]   SQLite: the plain query of `rows` rows x 8
//                                   columns (default 1000000), a GROUP BY and
//                                   an ORDER BY over it against `sqlite3 -csv`,
//                                   then stop, repaint and first-row figures.
//                                   "profile": the plain run only, for perf.
//   ui_run_bench pg [rows] [profile|profile-odbc]
//                                   PostgreSQL and ODBC to a private server:
//                                   libpq against `psql -c "copy (...) to
//                                   stdout csv"`, psqlODBC against the
//                                   driver by itself through a cursor.
//                                   "profile": one libpq round only, for perf;
//                                   "profile-odbc": one psqlODBC round only.
//   ui_run_bench maria [rows] [profile]
//                                   MariaDB Connector/ODBC to a private server
//                                   against `mariadb --batch -e`; "profile":
//                                   one round only.
//
// QT_QPA_PLATFORM=offscreen needs no display. Processor time (user + system)
// is printed beside wall time: a loaded machine disturbs it far less.

#include <libpq-fe.h>
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
#include "core/FileLocations.h"
#include "core/Session.h"
#include "core/SqlManager.h"
#include "views/SqlGrid.h"
#include "BenchMemory.h"
#include "BenchOdbcDriver.h"
#include "BenchPlatform.h"
#include "BenchMariaTable.h"
#include "BenchPgTable.h"
#include "app/LoginDialog.h"
#include "support/MariaServer.h"
#include "support/PgServer.h"
#include <QLineEdit>
#include <functional>
#include <vector>

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

// The bench desktop, watching how long pending messages wait between passes.
class TGapPlatform final : public TBenchPlatform {
 public:
  using TBenchPlatform::TBenchPlatform;
  void ProcessMessages() override {
    const auto now = Clock::now();
    const double gap = std::chrono::duration<double>(now - last).count();
    if (calls > 0) longestGap = std::max(longestGap, gap);
    // Once rows are shown, the run fetches: until then it clears the last
    // result and opens the query, which blocks by design.
    if (fetching && gap > longestFetchGap) {
      longestFetchGap = gap;
      longestGapRow = RowNow ? RowNow() : -1;
    }
    ++calls;
    TBenchPlatform::ProcessMessages();
    last = Clock::now();
    if (calls > 1 && RowNow && RowNow() > 0) fetching = true;
    if (OnProcessed) OnProcessed();
    inMessages += std::chrono::duration<double>(last - now).count();
  }

  void Reset() {
    calls = 0;
    longestGap = longestFetchGap = 0;
    longestGapRow = -1;
    fetching = false;
  }

  std::function<void()> OnProcessed;
  std::function<int()> RowNow;  // the rows shown
  int longestGapRow = -1;
  long calls = 0;
  bool fetching = false;
  double longestGap = 0, longestFetchGap = 0;
  double inMessages = 0;
  Clock::time_point last;
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

// Runs a shell command with its output thrown away.
TTiming TimeCommand(const std::string& command) {
  const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
  const auto t0 = Clock::now();
  int rc = std::system((command + " > /dev/null").c_str());
  TTiming t{Since(t0), CpuSeconds(RUSAGE_CHILDREN) - cpu0};
  return rc == 0 ? t : TTiming{-1, -1};
}

std::string SqliteCommand(const std::string& db, const std::string& query) {
  return "sqlite3 -csv '" + db + "' '" + query + "'";
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// One run of the start command and what it showed.
struct TRunFigures {
  TTiming Time;
  int Rows = 0, RowCount = 0, LongestGapRow = -1;
  double LongestGapMs = 0, FirstRowMs = -1;
  double LongestAnyGapMs = 0;  // the opening included
  double InMessages = 0;       // seconds spent letting messages through (paints)
  bool Ok = false;
};

// perf's control pipe (QUORREL_PERF_CTL names it): the profile covers the run
// alone, not the server's set-up. `perf record -D -1 --control fifo:PATH`.
void PerfControl(const char* command) {
  const char* path = std::getenv("QUORREL_PERF_CTL");
  if (!path) return;
  if (FILE* f = std::fopen(path, "w")) {
    std::fprintf(f, "%s\n", command);
    std::fclose(f);
  }
}

TRunFigures RunQuery(TApp& app, TGapPlatform& platform, const std::string& query) {
  TfrmMain& main = app.Main();
  TmodAction& actions = app.Action();
  main.edtSql->setPlainText(QString::fromStdString(query));
  TRunFigures f;
  platform.Reset();
  platform.RowNow = [&main] { return main.SqlInfo().RowMax(); };
  const double cpu0 = CpuSeconds(RUSAGE_SELF);
  const auto t0 = Clock::now();
  // The first row has shown once the messages after it (its paint) are done;
  // the first pass (entering the busy state) still sees the previous result.
  platform.OnProcessed = [&] {
    if (platform.calls > 1 && f.FirstRowMs < 0 && main.SqlInfo().RowMax() > 0) f.FirstRowMs = Since(t0) * 1000;
  };
  const double inMessages0 = platform.inMessages;
  PerfControl("enable");
  actions.Execute(actions.actStart);
  PerfControl("disable");
  f.Time = {Since(t0), CpuSeconds(RUSAGE_SELF) - cpu0};
  f.InMessages = platform.inMessages - inMessages0;
  platform.OnProcessed = nullptr;
  f.Rows = main.SqlInfo().RowMax();
  f.RowCount = main.SqlInfo().RowCount();
  f.LongestGapMs = platform.longestFetchGap * 1000;
  f.LongestGapRow = platform.longestGapRow;
  f.LongestAnyGapMs = platform.longestGap * 1000;
  f.Ok = main.SqlInfo().Status() != "Err" && platform.errors == 0;
  return f;
}

// A statement to stop, in one of the states a run passes through.
struct TStopCase {
  const char* State;
  std::string Sql;
  int MaxRow = 1000;
  std::function<void()> Before = {}, After = {};  // a lock taken and let go by another connection
};

// Presses 停止 300 ms into each statement, five times; prints how long the
// run took to end after it (worst of 5, limit 100 ms) and the longest time
// the window's messages waited while it ran (limit 50 ms). False when a
// figure is over its limit.
bool StopLatencies(TApp& app, TGapPlatform& platform, const char* route, const std::vector<TStopCase>& cases) {
  TfrmMain& main = app.Main();
  TmodAction& actions = app.Action();
  bool ok = true;
  std::printf("\nStop latency, %s (stop 300 ms in, 5 rounds)\n", route);
  for (const TStopCase& c : cases) {
    app.Options().MaxRow = c.MaxRow;
    std::vector<double> stops, gaps;
    int ended = 0;
    for (int i = 0; i < 5; ++i) {
      if (c.Before) c.Before();
      Clock::time_point stopAsked{};
      QTimer stopTimer;
      stopTimer.setSingleShot(true);
      QObject::connect(&stopTimer, &QTimer::timeout, &main, [&] {
        stopAsked = Clock::now();
        actions.Execute(actions.actStop);
      });
      stopTimer.start(300);
      const TRunFigures r = RunQuery(app, platform, c.Sql);
      if (stopAsked == Clock::time_point{}) {
        ++ended;  // over before the stop
      } else {
        stops.push_back(std::chrono::duration<double>(Clock::now() - stopAsked).count() * 1000);
        gaps.push_back(r.LongestAnyGapMs);
      }
      if (c.After) c.After();
    }
    if (stops.empty()) {
      std::printf("  %-28s every run ended before the stop\n", c.State);
      continue;
    }
    const double worst = *std::max_element(stops.begin(), stops.end());
    const double gap = *std::max_element(gaps.begin(), gaps.end());
    const bool fine = worst <= 100 && gap <= 50;
    ok = ok && fine;
    std::printf("  %-28s stop to end: median %.1f ms, worst %.1f ms (limit 100); longest message gap %.1f ms"
                " (limit 50)%s %s\n",
                c.State, Median(stops), worst, gap, ended ? " (some runs ended first)" : "", fine ? "OK" : "SLOW");
  }
  return ok;
}

// The ratio a limit applies to: processor time where the baseline is all
// processor work (sqlite3), wall time where a server does part of it.
enum class TRatio { Cpu, Wall };

// Rounds of baseline and run side by side; prints each round and the
// medians, and returns the median of the rounds' ratios on `on`.

using TBaseline = std::function<TTiming()>;

TBaseline Shell(const std::string& command) {
  return [command] { return TimeCommand(command); };
}

double Compare(TApp& app, TGapPlatform& platform, const char* title, const TBaseline& baseline,
               const std::string& query, int rounds, double limit, std::vector<TRunFigures>* runs = nullptr,
               TRatio on = TRatio::Cpu) {
  std::printf("\n%s (row limit %d)\n  %s\n", title, app.Options().MaxRow, query.c_str());
  std::vector<double> bw, bc, rw, rc, ratioCpu, ratioWall, gaps, anyGaps, firsts;
  baseline();  // warms the caches
  for (int i = 0; i < rounds; ++i) {
    const TTiming b = baseline();
    const TRunFigures r = RunQuery(app, platform, query);
    if (runs) runs->push_back(r);
    bw.push_back(b.Wall);
    bc.push_back(b.Cpu);
    rw.push_back(r.Time.Wall);
    rc.push_back(r.Time.Cpu);
    ratioCpu.push_back(r.Time.Cpu / b.Cpu);
    ratioWall.push_back(r.Time.Wall / b.Wall);
    gaps.push_back(r.LongestGapMs);
    anyGaps.push_back(r.LongestAnyGapMs);
    firsts.push_back(r.FirstRowMs / 1000);
    std::printf("  round %d: baseline %.3f s (cpu %.3f), run %.3f s (cpu %.3f; first row at %.3f s), %d of %d"
                " rows%s, longest gap while fetching %.1f ms (before row %d), with the opening %.1f ms\n",
                i + 1, b.Wall, b.Cpu, r.Time.Wall, r.Time.Cpu, r.FirstRowMs / 1000, r.Rows, r.RowCount,
                r.Ok ? "" : " FAILED", r.LongestGapMs, r.LongestGapRow, r.LongestAnyGapMs);
  }
  const double ratio = on == TRatio::Cpu ? Median(ratioCpu) : Median(ratioWall);
  std::printf("  median: baseline %.3f s (cpu %.3f), run %.3f s (cpu %.3f; first row at %.3f s, %.2f of the"
              " baseline); run/baseline %.2f cpu, %.2f wall (limit %.2f %s) %s; longest gap while fetching %.1f ms"
              " (limit 50), with the opening %.1f ms\n",
              Median(bw), Median(bc), Median(rw), Median(rc), Median(firsts), Median(firsts) / Median(bw),
              Median(ratioCpu), Median(ratioWall), limit, on == TRatio::Cpu ? "cpu" : "wall",
              ratio <= limit ? "OK" : "SLOW", *std::max_element(gaps.begin(), gaps.end()),
              *std::max_element(anyGaps.begin(), anyGaps.end()));
  return ratio;
}

// psqlODBC by itself, fetching as the program has it fetch: the least that
// any run through this driver can take, measured in this process.
TBaseline DriverAlone(const std::string& connection, const std::string& query) {
  return [connection, query] {
    long rows = 0;
    const double cpu0 = CpuSeconds(RUSAGE_SELF);
    const double wall = TimeOdbcDriverAlone(connection, query, &rows);
    return rows > 0 ? TTiming{wall, CpuSeconds(RUSAGE_SELF) - cpu0} : TTiming{-1, -1};
  };
}

// A private PostgreSQL server: the run command over libpq and over ODBC
// against psql's COPY of the same rows.
int BenchServer(QApplication& application, const std::filesystem::path& dir, long rows, int rounds, bool profile,
                bool profileOdbc) {
  TPgServer server;
  if (!server.Start()) {
    std::fprintf(stderr, "cannot start the private server: %s\n", server.Error().c_str());
    return 1;
  }
  if (!MakePgBenchTable(server, rows)) return 1;
  std::printf("private PostgreSQL server on port %d, %ld rows x 8 columns\n", server.Port(), rows);
  const std::string query = "SELECT * FROM bench";
  const std::string copy = "PGPASSWORD=secret " + TPgServer::FindBinDir() + "/psql -X -q -h 127.0.0.1 -p " +
                           std::to_string(server.Port()) + " -U quser -d quorrel -c \"copy (" + query +
                           ") to stdout csv\"";
  const std::string port = std::to_string(server.Port());
  const std::string odbc =
      "DRIVER=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Servername=127.0.0.1;Port=" + port + ";Database=quorrel";
  const struct {
    const char* title;
    std::string host;
    double limit;
    std::string driverAlone;  // the driver's own connection string, where the route has a driver
  } routes[] = {
      {"PostgreSQL (libpq), run command vs psql COPY", server.Uri(), 1.5, {}},
      {"ODBC (psqlODBC) to the same server, run command vs psqlODBC by itself through a cursor", "odbc:" + odbc, 1.3,
       odbc + ";UID=" + TPgServer::User() + ";PWD=" + TPgServer::Password() + ";TextAsLongVarchar=0" +
           kPsqlOdbcCursorFetch},
  };
  int status = 0;
  for (const auto& route : routes) {
    if (profile && &route != &routes[0]) break;
    if (profileOdbc && &route == &routes[0]) continue;
    TGapPlatform platform(dir.string());
    TApp app(platform, MakeFileLocations((dir / "quorrel").string()));
    if (!app.Start()) return 1;
    app.Options().MaxRow = static_cast<int>(rows);
    app.Options().LogOption = 1;  // F5 to the last row: the history keeps the SQL only
    TfrmMain& main = app.Main();
    main.resize(1200, 800);
    main.show();
    application.processEvents();
    app.Login().edtUser->setText(TPgServer::User());
    app.Login().edtPassword->setText(TPgServer::Password());
    app.Login().edtHost->setText(QString::fromStdString(route.host));
    app.Action().Execute(app.Action().actConnect);
    if (!main.IsConnected()) {
      std::fprintf(stderr, "%s: not connected\n", route.title);
      status = 1;
      continue;
    }
    if (profile || profileOdbc) {
      const TRunFigures r = RunQuery(app, platform, query);
      std::printf("run command: %.3f s, cpu %.3f s, %d rows, first row at %.3f s, %.3f s in messages\n",
                  r.Time.Wall, r.Time.Cpu, r.Rows, r.FirstRowMs / 1000, r.InMessages);
      break;
    }
    const TBaseline baseline = route.driverAlone.empty() ? Shell(copy) : DriverAlone(route.driverAlone, query);
    const double ratio = Compare(app, platform, route.title, baseline, query, rounds, route.limit, nullptr, TRatio::Wall);
    if (ratio > route.limit) status = 2;
    // A second connection holds a lock on the table for the lock-wait case.
    PGconn* holder = nullptr;
    const std::string holderInfo = "host=127.0.0.1 port=" + port + " dbname=quorrel user=quser password=secret";
    std::vector<TStopCase> cases = {
        {"opening (pg_sleep)", "SELECT pg_sleep(30)"},
        {"counting past the row limit", "SELECT * FROM bench, generate_series(1, 50)"},
        {"rows arriving", query, static_cast<int>(rows)},
        {"a change (UPDATE)", "UPDATE bench SET amount = amount + 1"},
        {"a lock wait", "UPDATE bench SET amount = amount WHERE id = 1", 1000,
         [&] {
           holder = PQconnectdb(holderInfo.c_str());
           PQclear(PQexec(holder, "BEGIN"));
           PQclear(PQexec(holder, "LOCK TABLE bench IN ACCESS EXCLUSIVE MODE"));
         },
         [&] {
           PQfinish(holder);
           holder = nullptr;
         }},
    };
    if (route.driverAlone.empty())
      cases.push_back({"COPY TO STDOUT", "COPY (SELECT * FROM bench, generate_series(1, 50)) TO STDOUT"});
    if (!StopLatencies(app, platform, route.title, cases)) status = 2;
    app.Options().MaxRow = static_cast<int>(rows);
    app.Action().Execute(app.Action().actDisConnect);
  }
  return status;
}

// A private MariaDB server: the run command over MariaDB Connector/ODBC
// against the mariadb client's batch output of the same rows.
int BenchMaria(QApplication& application, const std::filesystem::path& dir, long rows, int rounds, bool profile) {
  TMariaServer server;
  if (!server.Start()) {
    std::fprintf(stderr, "cannot start the private MariaDB server: %s\n", server.Error().c_str());
    return 1;
  }
  if (!MakeMariaBenchTable(server, rows)) return 1;
  std::printf("private MariaDB server on port %d, %ld rows x 8 columns\n", server.Port(), rows);
  const std::string port = std::to_string(server.Port());
  const std::string query = "SELECT * FROM bench";
  const std::string batch = "/usr/bin/mariadb --no-defaults --batch -h 127.0.0.1 -P " + port + " -u " +
                            TMariaServer::User() + " -p" + TMariaServer::Password() + " " +
                            TMariaServer::Database() + " -e \"" + query + "\"";
  TGapPlatform platform(dir.string());
  TApp app(platform, MakeFileLocations((dir / "quorrel").string()));
  if (!app.Start()) return 1;
  app.Options().MaxRow = static_cast<int>(rows);
  app.Options().LogOption = 1;
  TfrmMain& main = app.Main();
  main.resize(1200, 800);
  main.show();
  application.processEvents();
  app.Login().edtUser->setText(TMariaServer::User());
  app.Login().edtPassword->setText(TMariaServer::Password());
  app.Login().edtHost->setText(QString::fromStdString(
      "odbc:DRIVER=/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so;SERVER=127.0.0.1;PORT=" + port +
      ";DATABASE=" + TMariaServer::Database()));
  app.Action().Execute(app.Action().actConnect);
  if (!main.IsConnected()) {
    std::fprintf(stderr, "MariaDB ODBC: not connected\n");
    return 1;
  }
  if (profile) {
    const TRunFigures r = RunQuery(app, platform, query);
    std::printf("run command: %.3f s, cpu %.3f s, %d rows\n", r.Time.Wall, r.Time.Cpu, r.Rows);
    return 0;
  }
  const double ratio =
      Compare(app, platform, "ODBC (MariaDB Connector/ODBC), run command vs mariadb --batch", Shell(batch), query, rounds, 1.5,
              nullptr, TRatio::Wall);
  app.Action().Execute(app.Action().actDisConnect);
  return ratio > 1.5 ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool pg = argc > 1 && std::string(argv[1]) == "pg";
  const bool maria = argc > 1 && std::string(argv[1]) == "maria";
  const int argRows = pg || maria ? 2 : 1;
  const int rows = argc > argRows ? std::max(1, std::atoi(argv[argRows])) : 1000000;
  const bool profile = argc > argRows + 1 && std::string(argv[argRows + 1]) == "profile";
  const bool profileOdbc = pg && argc > argRows + 1 && std::string(argv[argRows + 1]) == "profile-odbc";
  // A server's figures wander more than the embedded database's.
  const int rounds = profile || profileOdbc ? 1 : pg || maria ? 7 : 5;
  QApplication application(argc, argv);
  application.setQuitOnLastWindowClosed(false);

  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("quorrel-ui-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::printf("load average at start: ");
  std::fflush(stdout);
  std::system("cut -d' ' -f1-3 /proc/loadavg");
  if (pg || maria) {
    const int status =
        pg ? BenchServer(application, dir, rows, rounds, profile, profileOdbc)
           : BenchMaria(application, dir, rows, rounds, profile);
    std::filesystem::remove_all(dir);
    return status;
  }
  const std::string exe = (dir / "quorrel").string();
  const std::string db = (dir / "quorrel.db").string();
  const std::string query = "SELECT * FROM T";

  auto t0 = Clock::now();
  if (!MakeDatabase(db, rows)) return 1;
  std::printf("database: %d rows x 8 columns generated in %.2f s\n", rows, Since(t0));

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
    TGapPlatform platform(dir.string());
    TApp app(platform, MakeFileLocations(exe));
    if (!app.Start()) return 1;
    app.Options().MaxRow = 1000000;
    // The history keeps the SQL only, so a run's time is F5 to the last row
    // in the grid; the run's result file (the default) is measured apart.
    app.Options().LogOption = 1;
    TfrmMain& main = app.Main();
    main.resize(1200, 800);
    main.show();
    application.processEvents();
    TmodAction& actions = app.Action();
    actions.Execute(actions.actConnect);
    if (!main.IsConnected()) return 1;

    if (profile || profileOdbc) {
      const TRunFigures r = RunQuery(app, platform, query);
      std::printf("run command: %.3f s, cpu %.3f s, %d rows, first row at %.3f s, %.3f s in messages\n",
                  r.Time.Wall, r.Time.Cpu, r.Rows, r.FirstRowMs / 1000, r.InMessages);
      std::filesystem::remove_all(dir);
      return 0;
    }

    // The plain query into the grid; memory is taken after the first round.
    const long rssBefore = CurrentRssBytes();
    std::vector<TRunFigures> plain;
    const double ratio = Compare(app, platform, "Plain query into the grid vs sqlite3 -csv",
                                 Shell(SqliteCommand(db, query)), query, rounds, 1.2, &plain);
    const long rssAfter = CurrentRssBytes();
    const int fetched = main.SqlInfo().RowMax();
    long textBytes = 0;
    for (int r = 1; r <= fetched; ++r)
      for (int c = 1; c <= 8; ++c) textBytes += static_cast<long>(main.Grid().CellView(c, r).size());
    const double perCell = double(rssAfter - rssBefore - textBytes) / (double(fetched) * 8);
    std::printf("  memory: %.1f MB more resident with the result shown, of which %.1f MB cell text;"
                " %.1f bytes per cell above the text (limit 16); peak %.1f MB (limit 200)\n",
                (rssAfter - rssBefore) / 1048576.0, textBytes / 1048576.0, perCell, PeakRssBytes() / 1048576.0);
    std::vector<double> first;
    for (const TRunFigures& r : plain) first.push_back(r.FirstRowMs);
    std::printf("  first row shown %.1f ms after F5 (median; limit 100)\n", Median(first));
    if (ratio > 1.2 || perCell > 16 || PeakRssBytes() > 200L << 20) status = 2;

    // The same with the history's result file of every run, as by default.
    app.Options().LogOption = 0;
    Compare(app, platform, "Plain query with the run's result file in the history vs sqlite3 -csv",
            Shell(SqliteCommand(db, query)), query, 3, 1.2);
    app.Options().LogOption = 1;

    // Queries whose rows cost SQLite real work, at the default row limit.
    app.Options().MaxRow = 1000;
    const std::string grouped = "SELECT QTY, count(*), sum(PRICE) FROM T GROUP BY QTY";
    const std::string sorted = "SELECT * FROM T ORDER BY CITY, NOTE";
    if (Compare(app, platform, "GROUP BY vs sqlite3 -csv", Shell(SqliteCommand(db, grouped)), grouped, rounds, 1.3) > 1.3)
      status = 2;
    if (Compare(app, platform, "ORDER BY two texts vs sqlite3 -csv", Shell(SqliteCommand(db, sorted)), sorted, rounds,
                1.3) > 1.3)
      status = 2;
    std::printf("  peak memory after these: %.1f MB\n", PeakRssBytes() / 1048576.0);

    sqlite3* holder = nullptr;
    // Responsiveness: a stop while the plain query fetches, while the
    // database sorts for the ORDER BY, during a change and during a lock wait.
    const std::vector<TStopCase> cases = {
        {"rows arriving", query, 1000000},
        {"sorting (ORDER BY)", sorted, 1000},
        {"a change (UPDATE)", "UPDATE T SET QTY = QTY + 1"},
        {"a lock wait", "UPDATE T SET QTY = QTY WHERE ID = 1", 1000,
         [&] {
           sqlite3_open(db.c_str(), &holder);
           sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr);
         },
         [&] {
           sqlite3_close(holder);
           holder = nullptr;
         }},
    };
    if (!StopLatencies(app, platform, "SQLite", cases)) status = 2;
    app.Options().MaxRow = 1000000;

    // Full repaints at the top, the middle and the end of a full result.
    RunQuery(app, platform, query);
    for (int at : {1, main.SqlInfo().RowMax() / 2, std::max(1, main.SqlInfo().RowMax() - 40)}) {
      main.Grid().SetTopRow(at);
      application.processEvents();
      std::vector<double> frames;
      for (int i = 0; i < 30; ++i) {
        const auto f0 = Clock::now();
        main.repaint();
        frames.push_back(Since(f0) * 1000);
      }
      std::printf("window repaint at row %d: median %.2f ms, worst %.2f ms per frame (limit 16)\n", at, Median(frames),
                  *std::max_element(frames.begin(), frames.end()));
    }
  }
  std::filesystem::remove_all(dir);
  return status;
}

// Fetches a generated table of ROWS rows × 8 columns from a private
// PostgreSQL server through TSqlManager, and the same rows with
// `psql -c "copy (select …) to stdout csv" > /dev/null`, and prints both.
//
//   sessions_bench [ROWS]        (default 1000000)
//
// The engine's cells go to a handler that only counts bytes, as a grid that
// keeps nothing would; so the process's peak memory is what the session
// layer holds, which must not grow with the query.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchMemory.h"
#include "BenchOdbcDriver.h"
#include "BenchPgTable.h"
#include "core/Sjis.h"
#include "core/SqlManager.h"
#include "support/PgServer.h"

namespace {

using TClockT = std::chrono::steady_clock;

double Since(TClockT::time_point t) { return std::chrono::duration<double>(TClockT::now() - t).count(); }

// psql's COPY to /dev/null; returns seconds, and psql's peak RSS in *rssKb.
double TimeCopy(const TPgServer& server, const std::string& query, long* rssKb) {
  std::string psql = TPgServer::FindBinDir() + "/psql";
  std::string copy = "copy (" + query + ") to stdout csv";
  std::string port = std::to_string(server.Port());
  auto start = TClockT::now();
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    execl(psql.c_str(), "psql", "-X", "-q", "-h", server.Dir().c_str(), "-p", port.c_str(), "-U", "postgres", "-d",
          TPgServer::Database(), "-c", copy.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  rusage u{};
  wait4(pid, &status, 0, &u);
  double s = Since(start);
  *rssKb = u.ru_maxrss;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::fprintf(stderr, "psql failed\n");
  return s;
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct TRun {
  double Open = 0, Total = 0, Cpu = 0;
  long Rows = 0, RecordCount = 0;
  size_t Bytes = 0;
};

// host: the server's own host string when empty.
TRun TimeEngine(const TPgServer& server, const std::string& query, int maxRow, const std::string& host = {}) {
  TSqlInfo info;
  TRun run;
  info.OnSetCell = [&](TSqlInfo&, int, int, std::string_view t) { run.Bytes += t.size(); };
  TSqlManager engine([] { return CreateSession("/nonexistent/default.db"); });
  engine.SqlInfo = &info;
  engine.MaxRow = [maxRow] { return maxRow; };
  engine.CreateSession();
  if (!engine.Logon(TPgServer::User(), TPgServer::Password(), host.empty() ? server.Uri() : host)) {
    std::fprintf(stderr, "logon: %s\n", SjisToUtf8(engine.ErrText).c_str());
    std::exit(1);
  }
  auto start = TClockT::now();
  const double cpu = CpuSeconds();
  if (!engine.OpenQuery(SJ(query))) {
    std::fprintf(stderr, "query: %s\n", SjisToUtf8(engine.ErrText).c_str());
    std::exit(1);
  }
  run.Open = Since(start);
  run.RecordCount = info.RowCount();
  while (engine.FetchRow()) ++run.Rows;
  run.Total = Since(start);
  run.Cpu = CpuSeconds() - cpu;
  if (engine.ErrCode != 0) std::fprintf(stderr, "fetch: %s\n", SjisToUtf8(engine.ErrText).c_str());
  return run;
}

// psqlODBC by itself over the socket psql uses. With cursor, the driver
// fetches through a cursor, as the program asks it to so that its memory
// follows the row limit; without, it reads the whole result into memory
// first.
double TimeOdbcDriver(const TPgServer& server, const std::string& query, bool cursor, long* rows) {
  const std::string conn = "DRIVER=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Servername=" + server.Dir() + ";Port=" +
                           std::to_string(server.Port()) + ";Database=" + TPgServer::Database() + ";UID=" +
                           TPgServer::User() + ";PWD=" + TPgServer::Password() + ";TextAsLongVarchar=0" +
                           (cursor ? kPsqlOdbcCursorFetch : ";UseDeclareFetch=0");
  return TimeOdbcDriverAlone(conn, query, rows);
}

}  // namespace

int main(int argc, char** argv) {
  const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
  TPgServer server;
  if (!server.Start()) {
    std::fprintf(stderr, "cannot start the private server: %s\n", server.Error().c_str());
    return 1;
  }
  std::printf("private PostgreSQL server on port %d; generating %ld rows × 8 columns...\n", server.Port(), rows);
  std::fflush(stdout);
  if (!MakePgBenchTable(server, rows)) return 1;
  const std::string query = "SELECT * FROM bench";
  long copyRss = 0;
  TimeCopy(server, query, &copyRss);  // warm the cache
  double copyBest = 1e9, engineBest = 1e9;
  TRun best;
  for (int i = 0; i < 3; ++i) {
    double c = TimeCopy(server, query, &copyRss);
    copyBest = std::min(copyBest, c);
    TRun r = TimeEngine(server, query, static_cast<int>(rows));
    if (r.Total < engineBest) {
      engineBest = r.Total;
      best = r;
    }
    std::printf("  round %d: psql COPY %.3f s, TSqlManager %.3f s (open %.3f s, this process's CPU %.3f s)\n", i + 1,
                c, r.Total, r.Open, r.Cpu);
  }
  const long rssAfterAll = PeakRssBytes() / 1024;
  double driverBest = 1e9, cursorBest = 1e9;
  long driverRows = 0, cursorRows = 0;
  for (int i = 0; i < 3; ++i) {
    driverBest = std::min(driverBest, TimeOdbcDriver(server, query, false, &driverRows));
    cursorBest = std::min(cursorBest, TimeOdbcDriver(server, query, true, &cursorRows));
  }
  TRun limited = TimeEngine(server, query, 1000);
  // Through psqlODBC the rows past the limit are counted by fetching them
  // from the same execution: at least what the driver alone takes for them.
  const std::string odbcHost = "odbc:DRIVER=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Servername=127.0.0.1;Port=" +
                               std::to_string(server.Port()) + ";Database=" + TPgServer::Database();
  TRun odbcLimited;
  odbcLimited.Total = 1e9;
  for (int i = 0; i < 3; ++i) {
    TRun r = TimeEngine(server, query, 1000, odbcHost);
    if (r.Total < odbcLimited.Total) odbcLimited = r;
  }

  std::printf("\n%-34s %10s %12s %12s\n", "", "seconds", "rows/s", "peak RSS");
  std::printf("%-34s %10.3f %12.0f %9ld KB\n", "psql COPY to /dev/null", copyBest, rows / copyBest, copyRss);
  std::printf("%-34s %10.3f %12.0f %9ld KB\n", "TSqlManager, all rows", engineBest, best.Rows / engineBest,
              rssAfterAll);
  std::printf("%-34s %10.3f %12s %12s\n", "  of which OpenQuery (row count)", best.Open, "", "");
  std::printf("%-34s %10.3f %12.0f %12s\n", "psqlODBC alone, whole result", driverBest, driverRows / driverBest, "");
  std::printf("%-34s %10.3f %12.0f %12s\n", "psqlODBC alone, through a cursor", cursorBest, cursorRows / cursorBest,
              "");
  std::printf("%-34s %10.3f %12s %9ld KB\n", "TSqlManager, row limit 1000", limited.Total, "", PeakRssBytes() / 1024);
  std::printf("%-34s %10.3f %12s %12s\n", "TSqlManager, psqlODBC, limit 1000", odbcLimited.Total, "", "");
  std::printf("\nrows fetched %ld of RecordCount %ld, %zu cell bytes; ratio to COPY %.2f (limit 2.00)\n",
              best.Rows, best.RecordCount, best.Bytes, engineBest / copyBest);
  std::printf("psqlODBC alone: %ld rows, %.2f of COPY with the whole result in memory, %.2f through a cursor"
              " (best of 3), before any program touches a value\n",
              driverRows, driverBest / copyBest, cursorBest / copyBest);
  std::printf("psqlODBC with the row limit 1000: RecordCount %ld, %.2f of psqlODBC alone through a cursor"
              " (best of 3)\n",
              odbcLimited.RecordCount, odbcLimited.Total / cursorBest);
  return engineBest <= 2 * copyBest ? 0 : 2;
}

// What manual commit costs a query: QUERIES one-row queries through
// TSqlManager with auto-commit on and off, in alternating rounds, on the
// embedded SQLite file, a private PostgreSQL server natively and through
// psqlODBC, and a private MariaDB server through MariaDB Connector/ODBC.
//
//   commit_mode_bench [QUERIES]    (default 2000)
//
// In manual mode a query with no change pending runs as in auto-commit: no
// backend opens a transaction before the first change.

#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/Sjis.h"
#include "core/SqlManager.h"
#include "support/MariaServer.h"
#include "support/PgServer.h"

namespace {

using TClockT = std::chrono::steady_clock;

struct TTarget {
  std::string Name, User, Password, Host;
};

// Seconds for `queries` one-row queries on an engine logged on to target.
double TimeQueries(TSqlManager& engine, int queries) {
  const auto start = TClockT::now();
  for (int i = 0; i < queries; ++i) {
    if (!engine.OpenQuery("SELECT N FROM T WHERE N = " + std::to_string(i % 1000 + 1))) {
      std::fprintf(stderr, "query failed: %s\n", SjisToUtf8(engine.ErrText).c_str());
      std::exit(1);
    }
    while (engine.FetchRow()) {
    }
    engine.CloseQuery();
  }
  return std::chrono::duration<double>(TClockT::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Measure(const TTarget& target, int queries, const std::string& dir) {
  TSqlInfo info;
  TSqlManager engine([&dir] { return CreateSession(dir + "/default.db"); });
  engine.SqlInfo = &info;
  if (!engine.CreateSession() || !engine.Logon(target.User, target.Password, target.Host)) {
    std::printf("%-14s cannot log on: %s\n", target.Name.c_str(), SjisToUtf8(engine.ErrText).c_str());
    return;
  }
  engine.ExecSql("DROP TABLE IF EXISTS T");
  std::string insert = "INSERT INTO T VALUES (1)";
  for (int n = 2; n <= 1000; ++n) insert += ", (" + std::to_string(n) + ")";
  if (!engine.ExecSql("CREATE TABLE T (N INTEGER PRIMARY KEY)") || !engine.ExecSql(insert)) {
    std::printf("%-14s cannot make the table: %s\n", target.Name.c_str(), SjisToUtf8(engine.ErrText).c_str());
    return;
  }
  TimeQueries(engine, queries / 4);  // warm up
  std::vector<double> automatic, manual;
  for (int round = 0; round < 7; ++round) {
    engine.SetAutoCommit(true);
    automatic.push_back(TimeQueries(engine, queries));
    engine.SetAutoCommit(false);
    manual.push_back(TimeQueries(engine, queries));
    if (engine.InTransaction()) std::printf("%-14s a query left a transaction open\n", target.Name.c_str());
  }
  const double a = Median(automatic) / queries * 1e6, m = Median(manual) / queries * 1e6;
  std::printf("%-14s %12.1f %12.1f %8.2f\n", target.Name.c_str(), a, m, m / a);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  const int queries = argc > 1 ? std::max(10, std::atoi(argv[1])) : 2000;
  char folder[] = "/tmp/commit_mode_bench.XXXXXX";
  if (!mkdtemp(folder)) return 1;
  const std::string dir = folder;
  std::vector<TTarget> targets{{"SQLite file", "", "", dir + "/bench.db"}};
  TPgServer pg;
  if (pg.Start()) {
    const std::string port = std::to_string(pg.Port());
    targets.push_back({"PostgreSQL", TPgServer::User(), TPgServer::Password(), pg.Uri()});
    targets.push_back({"psqlODBC", TPgServer::User(), TPgServer::Password(),
                       "odbc:DRIVER=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so;Servername=127.0.0.1;Port=" + port +
                           ";Database=" + TPgServer::Database()});
  } else {
    std::printf("no PostgreSQL server: %s\n", pg.Error().c_str());
  }
  TMariaServer maria;
  if (TMariaServer::Installed() && maria.Start()) {
    targets.push_back({"MariaDB ODBC", TMariaServer::User(), TMariaServer::Password(),
                       "odbc:DRIVER=/usr/lib/x86_64-linux-gnu/odbc/libmaodbc.so;SERVER=127.0.0.1;PORT=" +
                           std::to_string(maria.Port()) + ";DATABASE=" + TMariaServer::Database()});
  } else {
    std::printf("no MariaDB server\n");
  }
  std::printf("%d one-row queries per round, median of 7 rounds alternating the modes\n\n", queries);
  std::printf("%-14s %12s %12s %8s\n", "", "auto µs/q", "manual µs/q", "ratio");
  for (const TTarget& target : targets) Measure(target, queries, dir);
  std::remove((dir + "/bench.db").c_str());
  std::remove((dir + "/default.db").c_str());
  rmdir(folder);
  return 0;
}

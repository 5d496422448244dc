// The shared backend cases against the server backends: PostgreSQL natively
// and through ODBC, and SQLite and MariaDB through ODBC.

#include "BackendCases.h"
#include "ServerEnv.h"

namespace {

std::string PgSeries(int n) { return "SELECT n FROM generate_series(1, " + std::to_string(n) + ") AS s(n)"; }

std::string SqliteSeries(int n) {
  return "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < " + std::to_string(n) +
         ") SELECT n FROM s";
}

std::string PgUnavailable() {
  std::string why;
  TestServer(&why);
  return why;
}

std::string OdbcUnavailable(bool needsServer) {
  std::string why;
  TPgServer* server = TestServer(&why);
  std::string missing = PrepareOdbc(server);
  if (!missing.empty()) return missing;
  return needsServer ? why : "";
}

TLogin PgFresh(TTempDir&) {
  TPgServer* server = TestServer(nullptr);
  ResetTestDatabase(*server);
  return {TPgServer::User(), TPgServer::Password(), server->Uri()};
}

TLogin OdbcPgFresh(TTempDir& dir) {
  TLogin login = PgFresh(dir);
  login.Host = kOdbcPgDsn;  // a bare data source name
  return login;
}

TLogin OdbcSqliteFresh(TTempDir& dir) {
  return {"", "", "odbc:DRIVER=" + std::string(kOdbcSqliteDriver) + ";Database=" + dir.File("odbc.db")};
}

void PgSlow(TBackendParam& p) {
  p.SlowQuery = "SELECT pg_sleep(30)";
  p.SlowChange = "INSERT INTO T SELECT n FROM generate_series(1, 500000000) AS s(n)";
  p.HoldLock = {"BEGIN", "LOCK TABLE T IN ACCESS EXCLUSIVE MODE"};
}

TBackendParam Postgres() {
  TBackendParam p{"Postgres", PgFresh, PgSeries};
  PgSlow(p);
  p.Unavailable = PgUnavailable;
  return p;
}

TBackendParam OdbcPostgres() {
  TBackendParam p{"OdbcPostgres", OdbcPgFresh, PgSeries};
  PgSlow(p);
  p.Unavailable = [] { return OdbcUnavailable(true); };
  return p;
}

TBackendParam OdbcSqlite() {
  TBackendParam p{"OdbcSqlite", OdbcSqliteFresh, SqliteSeries};
  p.ReportsScale = false;  // the SQLite driver describes NUMERIC(7,2) as a DOUBLE of 7 digits
  p.SlowQuery = "SELECT count(*) FROM (" + SqliteSeries(2000000000) + ")";
  p.SlowChange = "INSERT INTO T " + SqliteSeries(2000000000);
  p.Unavailable = [] { return OdbcUnavailable(false); };
  return p;
}

std::string MariaSeries(int n) { return "SELECT seq AS n FROM seq_1_to_" + std::to_string(n); }

std::string OdbcMariaUnavailable() {
  std::string why;
  TMariaServer* server = TestMariaServer(&why);
  if (std::string missing = MissingMariaDriver(); !missing.empty()) return missing;
  return server ? "" : why;
}

TLogin OdbcMariaFresh(TTempDir&) {
  TMariaServer* server = TestMariaServer(nullptr);
  if (!server->Reset()) ADD_FAILURE() << server->Error();
  return {TMariaServer::User(), TMariaServer::Password(), MariaOdbcHost(*server)};
}

TBackendParam OdbcMariaDb() {
  TBackendParam p{"OdbcMariaDb", OdbcMariaFresh, MariaSeries};
  p.DateType = "DATETIME";  // a TIMESTAMP is kept in the session's time zone
  // A row holds 65535 bytes, four per utf8mb4 character; a TEXT is a LONG.
  p.LongTextType = "VARCHAR(15000)";
  p.SlowQuery = "SELECT SLEEP(30)";
  p.SlowChange = "UPDATE T SET N = N + SLEEP(30)";  // T holds one row
  p.HoldLock = {"START TRANSACTION", "UPDATE T SET N = 4"};
  p.Unavailable = OdbcMariaUnavailable;
  return p;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Servers, BackendCases, testing::Values(Postgres(), OdbcPostgres(), OdbcSqlite(), OdbcMariaDb()),
                         PrintToStringParamName);

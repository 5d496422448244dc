#include "ServerEnv.h"

#include <glob.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "support/TempDir.h"

const char* const kOdbcPgDsn = "QuorrelPg";
const char* const kOdbcSqliteDriver = "QuorrelSQLite";
const char* const kOdbcMariaDriver = "QuorrelMariaDB";

TPgServer* TestServer(std::string* why) {
  std::string reason;
  TPgServer* server = TPgServer::Shared(&reason);
  if (server) return server;
  // CI installs the server: there a missing server is a failure, not a skip.
  if (std::getenv("CI")) ADD_FAILURE() << "the private PostgreSQL server did not start: " << reason;
  if (why) *why = reason.empty() ? "no PostgreSQL server" : reason;
  return nullptr;
}

TMariaServer* TestMariaServer(std::string* why) {
  std::string reason;
  TMariaServer* server = TMariaServer::Shared(&reason);
  if (server) return server;
  if (std::getenv("CI")) ADD_FAILURE() << "the private MariaDB server did not start: " << reason;
  if (why) *why = reason.empty() ? "no MariaDB server" : reason;
  return nullptr;
}

std::string MariaOdbcHost(const TMariaServer& server) {
  return "odbc:DRIVER=" + std::string(kOdbcMariaDriver) + ";SERVER=127.0.0.1;PORT=" +
         std::to_string(server.Port()) + ";DATABASE=" + TMariaServer::Database();
}

void TServerSessionTest::SetUp() {
  std::string why;
  server = TestServer(&why);
  const std::string missing = MissingDrivers();
  if (!missing.empty()) GTEST_SKIP() << missing;
  if (!server) GTEST_SKIP() << why;
  ResetTestDatabase(*server);
  ASSERT_TRUE(engine.CreateSession());
}

void ResetTestDatabase(TPgServer& server) {
  if (!server.Admin("DROP SCHEMA IF EXISTS public CASCADE; CREATE SCHEMA public AUTHORIZATION quser"))
    ADD_FAILURE() << server.Error();
}

namespace {

std::string FindDriver(const char* name) {
  std::string pattern = std::string("/usr/lib/*/odbc/") + name;
  glob_t g{};
  std::string found;
  if (glob(pattern.c_str(), 0, nullptr, &g) == 0 && g.gl_pathc > 0) found = g.gl_pathv[0];
  globfree(&g);
  if (found.empty() && std::filesystem::exists(std::string("/usr/lib/odbc/") + name))
    found = std::string("/usr/lib/odbc/") + name;
  return found;
}

std::string& MariaDriverMissing() {
  static std::string missing;
  return missing;
}

}  // namespace

std::string MissingMariaDriver() {
  PrepareOdbc(TPgServer::Shared());
  return MariaDriverMissing();
}

std::string PrepareOdbc(TPgServer* server) {
  static std::unique_ptr<TTempDir> dir;
  static std::string missing;
  if (dir) return missing;
  dir = std::make_unique<TTempDir>();
  std::string pg = FindDriver("psqlodbcw.so"), lite = FindDriver("libsqlite3odbc.so");
  if (pg.empty()) missing += "psqlodbcw.so (odbc-postgresql) is not installed. ";
  if (lite.empty()) missing += "libsqlite3odbc.so (libsqliteodbc) is not installed.";
  std::string maria = FindDriver("libmaodbc.so");
  if (maria.empty()) MariaDriverMissing() = "libmaodbc.so (odbc-mariadb) is not installed.";
  WriteFileBytes(dir->File("odbcinst.ini"), "[QuorrelPostgreSQL]\nDriver=" + pg + "\n\n[" +
                                                std::string(kOdbcSqliteDriver) + "]\nDriver=" + lite + "\n\n[" +
                                                kOdbcMariaDriver + "]\nDriver=" + maria + "\nThreading=0\n");
  std::string dsn;
  if (server)
    dsn = "[" + std::string(kOdbcPgDsn) +
          "]\nDriver=QuorrelPostgreSQL\nServername=127.0.0.1\nPort=" + std::to_string(server->Port()) +
          "\nDatabase=" + TPgServer::Database() + "\nUseDeclareFetch=1\nFetch=100\n";
  WriteFileBytes(dir->File("odbc.ini"), dsn);
  setenv("ODBCSYSINI", dir->Path().c_str(), 1);
  setenv("ODBCINI", dir->File("odbc.ini").c_str(), 1);
  return missing;
}

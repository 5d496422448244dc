#pragma once
// What the server tests share: the process's private PostgreSQL server and a
// private ODBC configuration (drivers and data sources) beside it; and a
// private MariaDB server for the ODBC cases.

#include <gtest/gtest.h>

#include <string>

#include "support/EngineProbe.h"
#include "support/MariaServer.h"
#include "support/PgServer.h"

// The shared server, or nullptr with the reason to skip in *why. Under CI a
// server that does not start is also a test failure.
TPgServer* TestServer(std::string* why);

// Empties the test database: its public schema, owned by the test user.
void ResetTestDatabase(TPgServer& server);

// A data source for the test database (whose own host string is
// TPgServer::Uri()).
extern const char* const kOdbcPgDsn;

// Writes odbcinst.ini and odbc.ini into a directory of this process and
// points the driver manager at them (ODBCSYSINI, ODBCINI); done once, before
// the first ODBC call. The PostgreSQL data source is written when the server
// runs. Returns the reason when a driver is missing, else empty.
std::string PrepareOdbc(TPgServer* server);
// The driver name of the SQLite ODBC driver in that configuration.
extern const char* const kOdbcSqliteDriver;
// The driver name of MariaDB Connector/ODBC there, and why it is missing
// (empty when it is not).
extern const char* const kOdbcMariaDriver;
std::string MissingMariaDriver();

// The process's private MariaDB server, or nullptr with the reason to skip in
// *why; under CI a server that does not start is also a test failure.
TMariaServer* TestMariaServer(std::string* why);
// The host string of the MariaDB test database through ODBC, as a user gives
// it (no user or password).
std::string MariaOdbcHost(const TMariaServer& server);

// The fixture of the server session tests: an engine with a session, on an
// emptied test database. Skipped when the server, or what MissingDrivers()
// names, is not there.
class TServerSessionTest : public testing::Test, protected TEngineProbe {
 protected:
  void SetUp() override;
  // What else the test needs and this machine lacks; empty when nothing.
  // Called with `server` already set (nullptr without one).
  virtual std::string MissingDrivers() { return {}; }
  std::string Text() const { return ErrUtf8(); }

  TPgServer* server = nullptr;
};

#include "core/sessions/OdbcConnect.h"

#include <sqlext.h>

#include <dlfcn.h>
#include <odbcinst.h>

#include <algorithm>
#include <cctype>

#include "core/Sjis.h"
#include "core/sessions/OdbcText.h"
#include "core/sessions/ServerTypes.h"

namespace {

// The driver library a connection string leads to, found as the driver
// manager finds it; empty when it cannot be told.
std::string DriverLibrary(std::string_view connection) {
  std::string driver = OdbcConnectionValue(connection, "DRIVER");
  char value[1024] = {};
  if (driver.empty()) {
    std::string dsn = OdbcConnectionValue(connection, "DSN");
    if (dsn.empty()) dsn = "DEFAULT";
    SQLGetPrivateProfileString(dsn.c_str(), "Driver", "", value, sizeof value, "ODBC.INI");
    driver = value;
  }
  if (!driver.empty() && driver.find('/') == std::string::npos) {
    value[0] = 0;
    SQLGetPrivateProfileString(driver.c_str(), "Driver", "", value, sizeof value, "ODBCINST.INI");
    driver = value;
  }
  return driver;
}

// False only for a driver library known to lack the wide entry points.
bool HasWideEntryPoints(const std::string& library) {
  if (library.empty()) return true;
  void* handle = dlopen(library.c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (!handle) return true;
  const bool wide = dlsym(handle, "SQLDriverConnectW") != nullptr;
  dlclose(handle);
  return wide;
}

bool IsAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool IsPsqlOdbc(const std::string& library) { return library.compare(library.rfind('/') + 1, 8, "psqlodbc") == 0; }

bool IsMariaDbOdbc(const std::string& library) {
  return library.compare(library.rfind('/') + 1, 9, "libmaodbc") == 0;
}

// Whether the connection string or its data source sets one of the
// driver's settings (psqlODBC's have a long name and a short one).
bool DriverSets(const std::string& connection, const char* name, const char* shortName) {
  for (const char* key : {name, shortName}) {
    std::string upper(key);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (!OdbcConnectionValue(connection, upper).empty()) return true;
  }
  const std::string dsn = OdbcConnectionValue(connection, "DSN");
  if (!dsn.empty() && OdbcConnectionValue(connection, "DRIVER").empty()) {
    for (const char* key : {name, shortName}) {
      char value[16] = {};
      SQLGetPrivateProfileString(dsn.c_str(), key, "", value, sizeof value, "ODBC.INI");
      if (value[0] != 0) return true;
    }
  }
  return false;
}

// psqlODBC's fetching through a cursor, and text columns described as
// VARCHAR (it calls them LONGVARCHAR otherwise, which shows as a type this
// program does not show), unless the user's settings say otherwise.
void AskForCursorFetch(std::string& connection) {
  if (!DriverSets(connection, "UseDeclareFetch", "B6")) connection += ";UseDeclareFetch=1;Fetch=4096";
  if (!DriverSets(connection, "TextAsLongVarchar", "B7")) connection += ";TextAsLongVarchar=0";
}

}  // namespace

TOdbcStatus OdbcConnect(TOdbcConnection& connection, const std::string& text, const std::string& user,
                        const std::string& password, TOdbcDriverTraits& traits) {
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &connection.Env))) {
    connection.Env = SQL_NULL_HANDLE;
    return TOdbcStatus::Failed({FoldSqlState("IM004"), "IM004", SJ("ODBC ドライバーマネージャーを使えません")});
  }
  SQLSetEnvAttr(connection.Env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  // The connection's conversions are chosen when its handle is made, by
  // the thread that makes it.
  TUtf8Codeset codeset;
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, connection.Env, &connection.Dbc))) {
    connection.Dbc = SQL_NULL_HANDLE;
    return TOdbcStatus::Failed(ReadDiag(SQL_HANDLE_ENV, connection.Env));
  }
  SQLSetConnectAttr(connection.Dbc, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
  std::string full = OdbcConnectionString(text, user, password);
  const std::string library = DriverLibrary(full);
  if (IsPsqlOdbc(library)) {
    AskForCursorFetch(full);
    traits.CountByFetch = true;
    traits.NarrowText = true;
  } else if (IsMariaDbOdbc(library) && !DriverSets(full, "CHARSET", "CHARSET")) {
    full += ";CHARSET=utf8mb4";
    traits.NarrowText = true;
  }
  SQLSMALLINT outLen = 0;
  SQLRETURN rc;
  if (!IsAscii(full) && !HasWideEntryPoints(library)) {
    SQLCHAR out[1024];
    rc = SQLDriverConnect(connection.Dbc, nullptr, reinterpret_cast<SQLCHAR*>(full.data()), SQL_NTS, out, 1024,
                          &outLen, SQL_DRIVER_NOPROMPT);
  } else {
    TWide wide = Utf8ToWide(full);
    SQLWCHAR out[1024];
    rc = SQLDriverConnectW(connection.Dbc, nullptr, wide.data(), SQL_NTS, out, 1024, &outLen, SQL_DRIVER_NOPROMPT);
  }
  if (!Succeeded(rc)) {
    TDiag d = ReadDiag(SQL_HANDLE_DBC, connection.Dbc);
    const std::string utf8 = SjisToUtf8(d.Text);
    std::string lead;
    if (d.State == "IM002")
      lead = SJ("ODBC データソースが見つかりません: ");
    else if (d.State.rfind("28", 0) == 0 || utf8.find("password") != std::string::npos ||
             utf8.find("authentication") != std::string::npos)
      lead = SJ("ODBC データソースがログオンを拒否しました: ");
    else
      lead = SJ("ODBC データソースに接続できません: ");
    d.Text = lead + d.Text;
    return TOdbcStatus::Failed(std::move(d));
  }
  connection.Connected = true;
  return {};
}

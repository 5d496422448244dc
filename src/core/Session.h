#pragma once
// The database session interface: session → database → dynaset → fields.
// Any call may fail with a TSessionError; the caller then reads
// LastServerErr/LastServerErrText of the session (after OpenDatabase) or of
// the database (after anything else). All texts crossing this interface are
// cp932 bytes. TSqlManager is the only caller.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/Catalog.h"
#include "core/DateTime.h"

// A failure inside a backend. ServerErr 0 means the server reported nothing
// (the engine then shows "その他エラー").
class TSessionError : public std::runtime_error {
 public:
  TSessionError(int serverErr, std::string text)
      : std::runtime_error("session error"), ServerErr(serverErr), Text(std::move(text)) {}
  int ServerErr;
  std::string Text;  // cp932
};

enum class TValueKind { Null, Text, DateTime };

// A field's value in the current row. Text stays valid until the next
// MoveNext of its dynaset.
struct TFieldValue {
  TValueKind Kind = TValueKind::Null;
  std::string_view Text;
  TDateTime Date = 0;
};

class TField {
 public:
  virtual ~TField() = default;
  virtual std::string Name() = 0;
  virtual int OraMaxSize() = 0;
  virtual int OraPrecision() = 0;
  virtual int OraScale() = 0;
  virtual int OraIDataType() = 0;
  virtual TFieldValue Value() = 0;
};

// A row source, positioned on its first row when created.
class TDynaset {
 public:
  virtual ~TDynaset() = default;
  virtual int FieldCount() = 0;
  // The full row count of the query.
  virtual int RecordCount() = 0;
  // Owned by the dynaset; valid for its life. index is 0-based.
  virtual TField& Field(int index) = 0;
  virtual bool Eof() = 0;
  virtual void MoveNext() = 0;
};

enum class TBackend { Sqlite, Postgres, Odbc };

class TDatabase {
 public:
  virtual ~TDatabase() = default;
  // Rows processed by a statement that is not a query.
  virtual int ExecuteSql(const std::string& sql) = 0;
  virtual std::unique_ptr<TDynaset> CreateDynaset(const std::string& sql, int options) = 0;
  virtual int LastServerErr() = 0;
  virtual std::string LastServerErrText() = 0;

  // How many rows the caller reads of the next query at most (its row
  // limit). A backend may learn RecordCount by counting the rows past that
  // without keeping them; its dynaset then ends after that many rows.
  void SetRowsWanted(int rows) { rowsWanted_ = rows; }

  // Called again and again, every few milliseconds, while a query of this
  // database keeps the backend busy without giving a row (sorting, grouping,
  // counting, a filter that passes over many rows); never during a call
  // that returns at once. It returns false to ask for the query to end where
  // it stands: its rows then end there, without an error. Empty: no calls.
  // A backend that cannot give control back while it waits may never call it.
  using TBusyHandler = std::function<bool()>;
  void SetBusyHandler(TBusyHandler handler) { busy_ = std::move(handler); }

  // The backend that opened this database; set by the session that made it.
  TBackend Backend() const { return backend_; }
  void SetBackend(TBackend backend) { backend_ = backend; }

  // The catalogue through the backend's own calls (ODBC's SQLTables and
  // SQLColumns). False where the backend has none: core/Catalog.h then
  // reads it with SQL.
  virtual bool NativeCatalog(TCatalog& /*catalog*/) { return false; }
  virtual bool NativeColumns(const TCatalogTable& /*table*/, std::vector<TCatalogColumn>& /*columns*/) {
    return false;
  }

 protected:
  int RowsWanted() const { return rowsWanted_; }
  const TBusyHandler& BusyHandler() const { return busy_; }

 private:
  int rowsWanted_ = INT32_MAX;
  TBusyHandler busy_;
  TBackend backend_ = TBackend::Sqlite;
};

class TSession {
 public:
  virtual ~TSession() = default;
  // host: the host string; connect: "user/password" (split at the first "/").
  virtual std::unique_ptr<TDatabase> OpenDatabase(const std::string& host, const std::string& connect,
                                                  int options) = 0;
  virtual int LastServerErr() = 0;
  virtual std::string LastServerErrText() = 0;
};

// Splits a connect text "user/password" at its first "/".
void SplitConnect(std::string_view connect, std::string& user, std::string& password);

// The real session: routes a host string to SQLite, PostgreSQL or ODBC.
// defaultDatabase is the embedded database used for an empty host string
// (a native file path, created when missing).
// A missing defaultDatabase starts as a copy of databaseTemplate when one is
// given (an installed program's sample database).
std::unique_ptr<TSession> CreateSession(const std::string& defaultDatabase, const std::string& databaseTemplate = {});

// Which backend a host string chooses, and what the backend is given.
struct TRoute {
  TBackend Backend;
  std::string Target;  // UTF-8: SQLite path, libpq conninfo or ODBC connection string
};
TRoute RouteHost(std::string_view host, const std::string& defaultDatabase);

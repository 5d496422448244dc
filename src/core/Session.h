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
#include "core/SqlDialect.h"

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

// What a busy handler answers (see TDatabase::SetBusyHandler): true to go
// on, false to stop, Abandon() to stop at once whatever the server does.
class TBusyAnswer {
 public:
  TBusyAnswer(bool go) : go_(go) {}  // NOLINT: a plain bool answers go or stop
  static TBusyAnswer Abandon() {
    TBusyAnswer a(false);
    a.abandon_ = true;
    return a;
  }
  bool Go() const { return go_; }
  bool Abandoning() const { return abandon_; }

 private:
  bool go_;
  bool abandon_ = false;
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

  // Called again and again, every few milliseconds, while a statement of
  // this database keeps the backend busy without giving a row or an answer
  // (sorting, grouping, counting, a filter that passes over many rows, a
  // long UPDATE, a server that is slow to answer); never during a call that
  // returns at once. Its answer says whether to go on, to stop the
  // statement (its rows then end where they stand, without an error; a
  // statement that is not a query is rolled back by the database and
  // counts nothing), or to stop it and give up on a server that does not
  // answer the stop within a second (the connection is then dropped, and
  // the next statement connects again). Empty: no calls.
  using TBusyHandler = std::function<TBusyAnswer()>;
  void SetBusyHandler(TBusyHandler handler) { busy_ = std::move(handler); }

  // Whether the busy handler stopped the last statement (set by the
  // statement's ExecuteSql, CreateDynaset or the dynaset's rows).
  bool Stopped() const { return stop_->Stopped; }
  // After a stop: what the stop did to a transaction of the user's, in the
  // user's words (cp932), or empty when it left it as it was.
  const std::string& StopNote() const { return stop_->Note; }

  // What Stopped and StopNote read; shared with the dynasets, whose rows
  // can be stopped too.
  struct TStopState {
    bool Stopped = false;
    std::string Note;
    void Clear() {
      Stopped = false;
      Note.clear();
    }
    void Mark(std::string note = {}) {
      Stopped = true;
      if (!note.empty()) Note = std::move(note);
    }
  };

  // Auto-commit (the default) commits every statement at once. Off, the
  // first change opens a transaction that waits for Commit or Rollback; a
  // query alone opens none, so it holds no lock once its run is over.
  // Switching back on leaves an open transaction as it is (ODBC drivers
  // commit it): the caller ends it first.
  virtual void SetAutoCommit(bool on) { autoCommit_ = on; }
  bool AutoCommit() const { return autoCommit_; }
  // Whether a transaction of the user's is open on the server: changes in
  // manual mode, or a BEGIN they typed. Read from the server where it says.
  virtual bool InTransaction() { return false; }
  // End the open transaction; run as statements (busy handler, stop, error
  // members). A stop or failure that left the transaction open says so in
  // InTransaction.
  virtual void Commit() { ExecuteSql("COMMIT"); }
  virtual void Rollback() { ExecuteSql("ROLLBACK"); }

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

  // How the server reads the names and literals that the program writes
  // for the user. Asked while no statement runs; never fails: what the
  // server does not tell is taken on the safe side.
  virtual TSqlDialect Dialect() { return {}; }

 protected:
  int RowsWanted() const { return rowsWanted_; }
  const TBusyHandler& BusyHandler() const { return busy_; }
  const std::shared_ptr<TStopState>& StopState() const { return stop_; }

 private:
  int rowsWanted_ = INT32_MAX;
  TBusyHandler busy_;
  std::shared_ptr<TStopState> stop_ = std::make_shared<TStopState>();

  TBackend backend_ = TBackend::Sqlite;
  bool autoCommit_ = true;
};

class TSession {
 public:
  virtual ~TSession() = default;
  // host: the host string; connect: "user/password" (split at the first "/").
  // A server backend lets the busy handler of SetBusyHandler work while it
  // waits for the server; a false answer gives the attempt up (a failure).
  virtual std::unique_ptr<TDatabase> OpenDatabase(const std::string& host, const std::string& connect,
                                                  int options) = 0;
  virtual int LastServerErr() = 0;
  virtual std::string LastServerErrText() = 0;

  void SetBusyHandler(TDatabase::TBusyHandler handler) { busy_ = std::move(handler); }

 protected:
  const TDatabase::TBusyHandler& BusyHandler() const { return busy_; }

 private:
  TDatabase::TBusyHandler busy_;
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

// ODBC through unixODBC: Oracle and every other server with a driver.
//
// Every driver call runs on the connection's worker (OdbcWorker.h), the
// logon and the catalogue included, so the window works meanwhile and a stop
// reaches the driver wherever it waits. A query's opening is one job: it runs
// the statement, describes its columns, reads the rows the engine will show
// and keeps them in cp932 (KeptRows.h), counts the rest from the same
// execution (OdbcCount.h) and closes the statement. So a query runs once, its
// count is that of the very rows shown, memory follows the row limit, and
// only one statement is open at a time (some drivers allow no second one
// while a result is pending). A query that fails after some rows shows them,
// then the failure; nothing runs again after a failure.
//
// Jobs hand their outcome back as values; the error members, the stop state
// and the give-up belong to this connection and are touched on the caller's
// thread only.

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Sjis.h"
#include "core/sessions/Backends.h"
#include "core/sessions/ColumnField.h"
#include "core/sessions/KeptRows.h"
#include "core/sessions/OdbcCatalog.h"
#include "core/sessions/OdbcConnect.h"
#include "core/sessions/OdbcCount.h"
#include "core/sessions/OdbcText.h"
#include "core/sessions/OdbcWorker.h"
#include "core/sessions/ServerTypes.h"
#include "core/sessions/ServerWords.h"

namespace {

// The connection, its worker and what a stop reaches.
struct TOdbcLink {
  // The handles; only jobs touch them, and every job holds this pointer, so
  // a job that a give-up leaves running keeps them until the driver returns.
  std::shared_ptr<TOdbcConnection> Connection = std::make_shared<TOdbcConnection>();
  TOdbcDriverTraits Traits;  // set by the logon, read on the caller's thread
  std::shared_ptr<TOdbcCancel> Cancel = std::make_shared<TOdbcCancel>();
  TOdbcWorker Worker;

  TOdbcLink() = default;
  TOdbcLink(const TOdbcLink&) = delete;
  TOdbcLink& operator=(const TOdbcLink&) = delete;
  // The connection is closed on the worker too (psqlODBC says goodbye to
  // the server); one that was given up is closed by the job left running.
  ~TOdbcLink() {
    if (Worker.GivenUp()) return;
    TBusyPace none(nullptr);
    Worker.Run([connection = std::move(Connection)]() mutable {
      connection.reset();
      return TOdbcStatus{};
    }, none, [] {});
  }

  // Runs job on the worker while busy (may be null) paces the wait; a stop
  // marks stop (when given) and cancels the job's statement. The job's
  // status, or a failure once the connection is given up.
  TOdbcStatus Call(TOdbcJob job, const TDatabase::TBusyHandler* busy, TDatabase::TStopState* stop,
                   TBusyPace::TOnStop onStop = TBusyPace::TOnStop::Cancel) {
    if (Worker.GivenUp()) return GivenUp();
    Cancel->Reset();
    TBusyPace pace(busy, onStop);
    std::optional<TOdbcStatus> status = Worker.Run(std::move(job), pace, [&] {
      if (stop) stop->Mark();
      Cancel->Ask();
    });
    if (status) return *status;
    if (onStop == TBusyPace::TOnStop::GiveUp)
      return TOdbcStatus::Failed({FoldSqlState("HY008"), "HY008", SJ("ODBC データソースへの接続を中止しました")});
    return GivenUp();
  }

  static TOdbcStatus GivenUp() {
    return TOdbcStatus::Failed(
        {FoldSqlState("08S01"), "08S01", SJ("ODBC ドライバーが応答しないため、接続を放棄しました")});
  }
};

class TOdbcDynaset;

class TOdbcField final : public TColumnField {
 public:
  TOdbcField(const TOdbcDynaset& owner, size_t index, const TOdbcColumn& column)
      : TColumnField(column.Name, column.Type), owner_(owner), index_(index) {}
  TFieldValue Value() override;

 private:
  const TOdbcDynaset& owner_;
  size_t index_;
};

// The rows read at the opening, the full count, and the failure to tell
// after the last of them, if any; no driver call is left to make.
class TOdbcDynaset final : public TDynaset {
 public:
  TOdbcDynaset(std::shared_ptr<TErrorMembers> errors, const std::vector<TOdbcColumn>& columns,
               std::unique_ptr<TKeptRows> kept, long long count, std::optional<TDiag> failure)
      : errors_(std::move(errors)),
        kept_(std::move(kept)),
        recordCount_(static_cast<int>(std::min<long long>(count, INT_MAX))),
        failure_(std::move(failure)) {
    for (size_t i = 0; i < columns.size(); ++i) fields_.push_back(std::make_unique<TOdbcField>(*this, i, columns[i]));
    Step();
  }

  int FieldCount() override { return static_cast<int>(fields_.size()); }
  int RecordCount() override { return recordCount_; }
  TField& Field(int index) override {
    if (index < 0 || index >= FieldCount()) throw TSessionError(0, {});
    return *fields_[static_cast<size_t>(index)];
  }
  bool Eof() override { return eof_; }
  void MoveNext() override {
    if (!eof_) Step();
  }

  // A cell of the current row, read where it is kept.
  TFieldValue Cell(size_t column) const { return !eof_ && kept_ ? kept_->Cell(column) : TFieldValue{}; }

 private:
  void Step() {
    if (kept_ && next_ < kept_->Rows()) {
      kept_->Seek(next_++);
      return;
    }
    eof_ = true;
    kept_.reset();
    if (failure_) {
      const TDiag d = std::move(*failure_);
      failure_.reset();
      errors_->Fail(d.Number, d.Text);
    }
  }

  std::shared_ptr<TErrorMembers> errors_;
  std::unique_ptr<TKeptRows> kept_;  // null: no rows
  long long next_ = 0;
  bool eof_ = false;
  int recordCount_ = 0;
  std::optional<TDiag> failure_;
  std::vector<std::unique_ptr<TOdbcField>> fields_;
};

TFieldValue TOdbcField::Value() { return owner_.Cell(index_); }

// What a query's opening job hands back.
struct TOpened {
  std::vector<TOdbcColumn> Columns;
  TReadOutcome Read;  // Read.Kept is null when a stop came before the rows
};

// What a logon was given, kept for connecting again.
struct TLogon {
  std::string Connection, User, Password;  // UTF-8
};

// Opens a connection on a worker of its own while busy paces the wait; a
// stop gives the attempt up at once (a server that does not answer keeps the
// driver waiting up to its login timeout). Null with the failure in status.
std::unique_ptr<TOdbcLink> OpenLink(const TLogon& logon, const TDatabase::TBusyHandler* busy, TOdbcStatus& status) {
  auto link = std::make_unique<TOdbcLink>();
  auto traits = std::make_shared<TOdbcDriverTraits>();
  status = link->Call([handles = link->Connection, traits, logon] {
    return OdbcConnect(*handles, logon.Connection, logon.User, logon.Password, *traits);
  }, busy, nullptr, TBusyPace::TOnStop::GiveUp);
  if (!status.Ok) return nullptr;
  link->Traits = *traits;
  return link;
}

class TOdbcDatabase final : public TDatabase {
 public:
  TOdbcDatabase(std::unique_ptr<TOdbcLink> link, TLogon logon) : link_(std::move(link)), logon_(std::move(logon)) {}

  int ExecuteSql(const std::string& sqlCp932) override {
    const std::string sql = Statement(sqlCp932);
    const TTransactionWord word = TransactionWord(sql);
    // Manual commit reaches the driver with the first change: queries until
    // then run as in auto-commit, and end no transaction of the driver's.
    if (!AutoCommit() && !driverManual_ && word != TTransactionWord::Outside) {
      const TOdbcStatus mode = Call(ModeJob(false));
      if (!mode.Ok) Fail(mode);
      driverManual_ = true;
    }
    auto total = std::make_shared<long long>(0);
    const TOdbcStatus status = Call([connection = link_->Connection, cancel = link_->Cancel, wide = Utf8ToWide(sql),
                                     total, countByFetch = link_->Traits.CountByFetch]() mutable -> TOdbcStatus {
      TOdbcStatement stmt(connection);
      if (!stmt.Allocated()) return TOdbcStatus::Failed(ReadDiag(SQL_HANDLE_DBC, connection->Dbc));
      TOdbcCancel::TScope scope(*cancel, stmt.Handle);
      if (cancel->Asked()) return {};
      SQLRETURN rc = SQLExecDirectW(stmt.Handle, wide.data(), SQL_NTS);
      // Every result of a batch counts; the first failure ends it.
      while (rc != SQL_NO_DATA) {
        if (!Succeeded(rc)) return TOdbcStatus::Failed(ReadDiag(SQL_HANDLE_STMT, stmt.Handle));
        SQLSMALLINT columns = 0;
        if (countByFetch && Succeeded(SQLNumResultCols(stmt.Handle, &columns)) && columns > 0) {
          SQLRETURN fetched;
          while (!cancel->Asked() && Succeeded(fetched = SQLFetch(stmt.Handle))) ++*total;
          if (cancel->Asked()) return TOdbcStatus::Failed({});  // stopped between two rows
          if (fetched != SQL_NO_DATA) return TOdbcStatus::Failed(ReadDiag(SQL_HANDLE_STMT, stmt.Handle));
        } else {
          SQLLEN rows = -1;
          if (Succeeded(SQLRowCount(stmt.Handle, &rows)) && rows > 0) *total += rows;
        }
        rc = SQLMoreResults(stmt.Handle);
      }
      return {};
    });
    if (!status.Ok) {
      // A failed or stopped change that began the driver's transaction
      // leaves it holding the locks the statement took, and nothing else.
      if (driverManual_ && !pending_) LeaveDriverTransaction(SQL_ROLLBACK);
      if (StopState()->Stopped) return 0;  // undone by the stop
      Fail(status);
    }
    // The statement ended before the stop reached it.
    StopState()->Clear();
    // The driver does not say whether a transaction is open; the mode and
    // the statements run do.
    switch (word) {
      case TTransactionWord::Begin:
        pending_ = true;
        break;
      case TTransactionWord::End:
        pending_ = false;
        break;
      case TTransactionWord::Outside:
        break;
      case TTransactionWord::Other:
        if (!AutoCommit()) pending_ = true;
        break;
    }
    // A COMMIT or ROLLBACK typed in manual mode ended the transaction.
    if (driverManual_ && !pending_) LeaveDriverTransaction(SQL_COMMIT);
    return static_cast<int>(std::min<long long>(*total, INT_MAX));
  }

  std::unique_ptr<TDynaset> CreateDynaset(const std::string& sqlCp932, int /*options*/) override {
    const std::string utf8 = Statement(sqlCp932);
    auto opened = std::make_shared<TOpened>();
    const long long wanted = std::max(RowsWanted(), 0);
    const TOdbcStatus status =
        Call([connection = link_->Connection, cancel = link_->Cancel, wide = Utf8ToWide(TrimStatement(utf8)), opened,
              wanted, narrow = link_->Traits.NarrowText]() mutable -> TOdbcStatus {
          // Declared first so that it outlives the statement: the driver
          // writes into its buffers until the statement is freed.
          TOdbcRows rows;
          rows.Narrow = narrow;
          TOdbcStatement stmt(connection);
          if (!stmt.Allocated()) return TOdbcStatus::Failed(ReadDiag(SQL_HANDLE_DBC, connection->Dbc));
          TOdbcCancel::TScope scope(*cancel, stmt.Handle);
          if (cancel->Asked()) return {};
          const SQLRETURN rc = SQLExecDirectW(stmt.Handle, wide.data(), SQL_NTS);
          if (!Succeeded(rc) && rc != SQL_NO_DATA) return TOdbcStatus::Failed(ReadDiag(SQL_HANDLE_STMT, stmt.Handle));
          if (cancel->Asked()) return {};
          TDiag error;
          if (!DescribeColumns(connection->Dbc, stmt.Handle, rows, opened->Columns, error))
            return TOdbcStatus::Failed(std::move(error));
          opened->Read.Kept = std::make_unique<TKeptRows>(opened->Columns.size());
          if (!opened->Columns.empty()) {
            TUtf8Codeset codeset;
            ReadAndCount(stmt.Handle, rows, opened->Read, wanted, *cancel);
          }
          return {};
        });
    if (!status.Ok && !StopState()->Stopped) Fail(status);
    // With no change waiting the driver is in auto-commit: the query began
    // no transaction and holds no lock. Where the driver could not be put
    // back into auto-commit, the transaction it began for the query ends.
    if (driverManual_ && !pending_) LeaveDriverTransaction(SQL_COMMIT);
    TReadOutcome& read = opened->Read;
    // A stop before the rows: no columns, no rows.
    if (!status.Ok || !read.Kept) return std::make_unique<TOdbcDynaset>(errors_, std::vector<TOdbcColumn>{},
                                                                      nullptr, 0, std::nullopt);
    long long count = read.Kept->Rows() + read.Counted;
    std::optional<TDiag> failure;
    if (StopState()->Stopped) {
      count = read.Kept->Rows();  // the rows end where the stop found them
    } else if (read.Failed) {
      // A query that fails at its first row fails to open; one that fails
      // later shows the rows before the failure, then the failure.
      if (read.Kept->Rows() == 0) Fail(TOdbcStatus::Failed(read.Error));
      failure = read.Error;
    }
    return std::make_unique<TOdbcDynaset>(errors_, opened->Columns, std::move(read.Kept), count,
                                          std::move(failure));
  }

  int LastServerErr() override { return errors_->LastErr(); }
  std::string LastServerErrText() override { return errors_->LastText(); }

  TSqlDialect Dialect() override {
    // A connection given up is not asked, nor connected again: that is for
    // the next statement to do and to say.
    TSqlDialect dialect = words_.Kept;
    dialect.BackslashEscapes = words_.Family == TServerWords::TFamily::MySql;
    if (link_->Worker.GivenUp()) return dialect;
    auto words = std::make_shared<TServerWords>(words_);
    auto asked = std::make_shared<TSqlDialect>();
    const TOdbcStatus status = link_->Call([connection = link_->Connection, words, asked]() -> TOdbcStatus {
      *asked = OdbcDialect(connection->Dbc, *words);
      return {};
    }, nullptr, nullptr);
    if (!status.Ok) return dialect;
    words_ = std::move(*words);
    return *asked;
  }
  // Manual mode reaches the driver with the first change (see ExecuteSql).
  void SetAutoCommit(bool on) override {
    StopState()->Clear();
    errors_->ClearError();
    if (on && driverManual_) {
      const TOdbcStatus status = Call(ModeJob(true));
      if (!status.Ok) Fail(status);
      driverManual_ = false;
      pending_ = false;  // the driver commits what was open
    }
    TDatabase::SetAutoCommit(on);
  }
  bool InTransaction() override { return pending_; }
  // A BEGIN typed in auto-commit mode is ended by SQL; in manual mode the
  // driver ends the transaction.
  void Commit() override { AutoCommit() ? (void)ExecuteSql("COMMIT") : Finish(SQL_COMMIT); }
  void Rollback() override { AutoCommit() ? (void)ExecuteSql("ROLLBACK") : Finish(SQL_ROLLBACK); }

  bool NativeCatalog(TCatalog& catalog) override {
    auto out = std::make_shared<TCatalog>();
    Catalogue([out](const TOdbcConnection& connection, SQLHSTMT stmt) { OdbcReadCatalog(connection.Dbc, stmt, *out); });
    catalog = std::move(*out);
    return true;
  }
  bool NativeColumns(const TCatalogTable& table, std::vector<TCatalogColumn>& columns) override {
    auto out = std::make_shared<std::vector<TCatalogColumn>>();
    Catalogue([out, table](const TOdbcConnection& connection, SQLHSTMT stmt) {
      OdbcReadColumns(connection.Dbc, stmt, table, *out);
    });
    columns = std::move(*out);
    return true;
  }

 private:
  // A connection given up fails its statement, stopped or not; the next
  // statement connects again instead of running.
  TOdbcStatus Call(TOdbcJob job) {
    if (link_->Worker.GivenUp()) Reconnect();
    TOdbcStatus status = link_->Call(std::move(job), &BusyHandler(), StopState().get());
    if (link_->Worker.GivenUp()) Fail(status);
    return status;
  }

  // The statement at hand does not run on the new connection: what the user
  // set up on the old one (settings, temporary tables, a transaction) is
  // gone, and the statement may depend on it.
  [[noreturn]] void Reconnect() {
    const bool lost = pending_;
    pending_ = false;
    TOdbcStatus status;
    std::unique_ptr<TOdbcLink> link = OpenLink(logon_, &BusyHandler(), status);
    if (!link) Fail(status);
    link_ = std::move(link);
    driverManual_ = false;
    errors_->Fail(FoldSqlState("08003"), SJ("サーバーとの接続が切れたため再接続しました。セッションの設定は失われています。") +
                                             (lost ? SJ("コミットされていない変更は失われました（サーバーがロールバックしました）。") : std::string()) +
                                             SJ("ＳＱＬは実行していません。"));
  }

  TOdbcJob ModeJob(bool on) {
    return [connection = link_->Connection, on]() -> TOdbcStatus {
      const SQLRETURN rc = SQLSetConnectAttr(connection->Dbc, SQL_ATTR_AUTOCOMMIT,
                                             reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON
                                                                                                  : SQL_AUTOCOMMIT_OFF)),
                                             SQL_IS_UINTEGER);
      return Succeeded(rc) ? TOdbcStatus{} : TOdbcStatus::Failed(ReadDiag(SQL_HANDLE_DBC, connection->Dbc));
    };
  }

  TOdbcStatus EndTransaction(SQLSMALLINT how) {
    return Call([connection = link_->Connection, how]() -> TOdbcStatus {
      const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, connection->Dbc, how);
      return Succeeded(rc) ? TOdbcStatus{} : TOdbcStatus::Failed(ReadDiag(SQL_HANDLE_DBC, connection->Dbc));
    });
  }

  // Ends the driver's transaction, with nothing of the user's in it, and
  // puts the driver back into auto-commit until the next change. What the
  // statement at hand says stays its own: a failure here is not told.
  void LeaveDriverTransaction(SQLSMALLINT how) {
    if (!EndTransaction(how).Ok) return;
    if (Call(ModeJob(true)).Ok) driverManual_ = false;
  }

  // The user's commit or rollback. The driver's call cannot be cancelled:
  // a stop waits for its end, and the transaction ends as the call says.
  void Finish(SQLSMALLINT how) {
    StopState()->Clear();
    errors_->ClearError();
    const TOdbcStatus status = EndTransaction(how);
    StopState()->Clear();
    if (!status.Ok) Fail(status);
    pending_ = false;
    if (Call(ModeJob(true)).Ok) driverManual_ = false;
  }

  [[noreturn]] void Fail(const TOdbcStatus& status) { errors_->Fail(status.Error.Number, status.Error.Text); }

  std::string Statement(const std::string& sqlCp932) {
    StopState()->Clear();
    return ServerStatement(sqlCp932, *errors_, FoldSqlState("42000"));
  }

  // A catalogue call on a statement of its own, which a stop cancels; its
  // failure (a stop's among them) throws.
  void Catalogue(std::function<void(const TOdbcConnection&, SQLHSTMT)> read) {
    StopState()->Clear();
    errors_->ClearError();
    const TOdbcStatus status =
        Call([connection = link_->Connection, cancel = link_->Cancel, read = std::move(read)]() -> TOdbcStatus {
          TOdbcStatement stmt(connection);
          if (!stmt.Allocated()) return TOdbcStatus::Failed(ReadDiag(SQL_HANDLE_DBC, connection->Dbc));
          TOdbcCancel::TScope scope(*cancel, stmt.Handle);
          read(*connection, stmt.Handle);  // throws TSessionError, which the worker turns into a status
          return {};
        });
    if (!status.Ok) Fail(status);
  }

  std::unique_ptr<TOdbcLink> link_;
  const TLogon logon_;
  TServerWords words_;  // read once per connection, on the worker
  bool pending_ = false;  // a transaction of the user's is open
  // The driver's auto-commit is off: from the first change in manual mode
  // until the transaction ends (and longer, where the driver refused to
  // turn it on again). Implies !AutoCommit().
  bool driverManual_ = false;
  std::shared_ptr<TErrorMembers> errors_ = std::make_shared<TErrorMembers>();
};

}  // namespace

std::unique_ptr<TDatabase> OpenOdbcDatabase(const std::string& connection, const std::string& user,
                                            const std::string& password, const TDatabase::TBusyHandler& busy) {
  TLogon logon{connection, user, password};
  TOdbcStatus status;
  std::unique_ptr<TOdbcLink> link = OpenLink(logon, &busy, status);
  if (!link) throw TSessionError(status.Error.Number, status.Error.Text);
  return std::make_unique<TOdbcDatabase>(std::move(link), std::move(logon));
}

// The embedded database: SQLite, with its declared column types mapped to the
// Oracle type codes and its date texts and numbers read as date-times.

#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/Sjis.h"
#include "core/SqlInfo.h"
#include "core/sessions/Backends.h"
#include "core/sessions/ColumnField.h"
#include "core/sessions/ServerTypes.h"
#include "core/sessions/ServerWords.h"
#include "core/sessions/SqliteTypes.h"

namespace {

using TConnection = std::shared_ptr<sqlite3>;

struct TStmtCloser {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using TStmt = std::unique_ptr<sqlite3_stmt, TStmtCloser>;

constexpr int kNoStatementErr = SQLITE_MISUSE;
// The budget of a cheap count, in virtual machine steps.
constexpr int kCountSteps = 1000000;

int ClampCount(int64_t n) { return n > INT32_MAX ? INT32_MAX : static_cast<int>(n); }

// While statements change the database, the connection's page cache may
// grow to 128 MiB, so the pages a change writes stay in memory instead of
// being spilled into the file part-way: a stop then undoes the change
// without copying spilled pages back into the file (a stop 300 ms into an
// update of a million rows ended after 75-105 ms, now 42-69 ms), and a
// large change writes each page once. Only a connection at the size it
// opened with grows (a size the user chose stays in force), and that size
// comes back afterwards unless a statement set one of its own.
class TChangeCache {
 public:
  TChangeCache(sqlite3* db, std::optional<int64_t> opened) : db_(db), before_(CacheSize(db)) {
    if (before_ && before_ == opened)
      SetCacheSize(kChangeKiB);
    else
      before_.reset();
  }
  ~TChangeCache() {
    if (before_ && CacheSize(db_) == kChangeKiB) SetCacheSize(*before_);
  }
  TChangeCache(const TChangeCache&) = delete;
  TChangeCache& operator=(const TChangeCache&) = delete;

  static std::optional<int64_t> CacheSize(sqlite3* db) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA cache_size", -1, &raw, nullptr) != SQLITE_OK) return std::nullopt;
    TStmt stmt(raw);
    if (sqlite3_step(stmt.get()) != SQLITE_ROW) return std::nullopt;
    return sqlite3_column_int64(stmt.get(), 0);
  }

 private:
  static constexpr int64_t kChangeKiB = -131072;  // negative: KiB, not pages
  void SetCacheSize(int64_t size) {
    const std::string pragma = "PRAGMA cache_size = " + std::to_string(size);
    sqlite3_exec(db_, pragma.c_str(), nullptr, nullptr, nullptr);
  }

  sqlite3* db_;
  std::optional<int64_t> before_;
};

// Gives control back to the caller's busy handler while one call into
// SQLite works for long (the first row of a sort, the pass that counts, a
// filter passing over many rows): SQLite's progress callback looks at the
// clock every kBusyCheck virtual machine steps, and once the call has run
// for kBusyMs it calls the handler, then again every kBusyMs. A false answer
// interrupts the statement (SQLITE_INTERRUPT), which then counts as the end
// of the rows. Calls that return at once never reach the handler.
// Given a budget of steps, the watch also interrupts the call once it has
// spent them (OverBudget).
class TBusyWatch {
 public:
  TBusyWatch(sqlite3* db, const TDatabase::TBusyHandler& handler, int budgetSteps = 0)
      : db_(db), handler_(handler), budgetChecks_(budgetSteps / kBusyCheck), installed_(handler_ || budgetChecks_ > 0) {
    if (installed_) sqlite3_progress_handler(db_, kBusyCheck, &TBusyWatch::Check, this);
    // A lock held by another connection is waited for in steps, so the
    // window works meanwhile and a stop ends the wait.
    if (handler_) sqlite3_busy_handler(db_, &TBusyWatch::Locked, this);
  }
  ~TBusyWatch() {
    if (installed_) sqlite3_progress_handler(db_, 0, nullptr, nullptr);
    if (handler_) sqlite3_busy_timeout(db_, kLockWaitMs);
  }
  TBusyWatch(const TBusyWatch&) = delete;
  TBusyWatch& operator=(const TBusyWatch&) = delete;

  // Whether the handler asked to stop (the statement was interrupted).
  bool Stopped() const { return stopped_; }
  bool OverBudget() const { return overBudget_; }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kBusyMs{10};
  static constexpr int kBusyCheck = 2000;

  static int Check(void* self) {
    auto& w = *static_cast<TBusyWatch*>(self);
    if (w.stopped_ || w.overBudget_) return 1;
    if (w.budgetChecks_ > 0 && ++w.checks_ > w.budgetChecks_) {
      w.overBudget_ = true;
      return 1;
    }
    if (!w.handler_) return 0;
    // The clock is first read here, so a step that ends within kBusyCheck
    // steps (any ordinary row) costs no reading of it.
    const auto now = Clock::now();
    if (!w.started_) {
      w.started_ = true;
      w.due_ = now + kBusyMs;
      return 0;
    }
    if (now < w.due_) return 0;
    w.stopped_ = !w.handler_().Go();
    w.due_ = Clock::now() + kBusyMs;
    return w.stopped_ ? 1 : 0;
  }

  // SQLite's busy handler: sleeps a step and asks the handler; after
  // kLockWaitMs in all the statement fails as "database is locked".
  static int Locked(void* self, int tries) {
    auto& w = *static_cast<TBusyWatch*>(self);
    if (w.stopped_ || tries * kLockStepMs >= kLockWaitMs) return 0;
    sqlite3_sleep(kLockStepMs);
    w.stopped_ = !w.handler_().Go();
    return w.stopped_ ? 0 : 1;
  }

 public:
  static constexpr int kLockWaitMs = 2000;

 private:
  static constexpr int kLockStepMs = 10;
  sqlite3* db_;
  const TDatabase::TBusyHandler& handler_;
  const int budgetChecks_;
  const bool installed_;
  int checks_ = 0;
  Clock::time_point due_;
  bool started_ = false;
  bool stopped_ = false;
  bool overBudget_ = false;
};

std::string ErrText(sqlite3* db) { return Utf8ToSjis(sqlite3_errmsg(db)); }

// One value of the current row as SQLite holds it; Text is the bytes of a
// TEXT or BLOB value.
struct TSqliteCell {
  int Type = SQLITE_NULL;
  sqlite3_int64 Int = 0;
  double Real = 0;
  std::string_view Text;
};

TSqliteCell ReadCell(sqlite3_stmt* stmt, int i) {
  TSqliteCell c;
  c.Type = sqlite3_column_type(stmt, i);
  switch (c.Type) {
    case SQLITE_NULL:
      break;
    case SQLITE_INTEGER:
      c.Int = sqlite3_column_int64(stmt, i);
      break;
    case SQLITE_FLOAT:
      c.Real = sqlite3_column_double(stmt, i);
      break;
    default: {
      const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, i));
      const int bytes = sqlite3_column_bytes(stmt, i);
      if (text) c.Text = std::string_view(text, static_cast<size_t>(bytes));
      break;
    }
  }
  return c;
}

class TSqliteDynaset;

class TSqliteField final : public TColumnField {
 public:
  TSqliteField(const TSqliteDynaset& owner, int index, const TSqliteColumnType& type, std::string name)
      : TColumnField(std::move(name), type), owner_(owner), index_(index) {}
  TFieldValue Value() override;

 private:
  static TFieldValue DateValue(TDateTime dt) {
    TFieldValue v;
    v.Kind = TValueKind::DateTime;
    v.Date = dt;
    return v;
  }

  const TSqliteDynaset& owner_;
  int index_;
  std::string buf_;
};

// A query's rows, read in one of two ways (the database chooses, see
// CreateDynaset): straight from the statement as the engine moves on, or
// from rows kept by a single pass that also counted the rest. The kept
// rows are packed in one buffer: per value a type byte, then 8 bytes of
// number or a 32-bit length and the bytes of a text.
class TSqliteDynaset final : public TDynaset {
 public:
  using TStopState = std::shared_ptr<TDatabase::TStopState>;
  TSqliteDynaset(TConnection conn, TStmt stmt, std::shared_ptr<TErrorMembers> errors,
                 TDatabase::TBusyHandler busy, TStopState stop)
      : conn_(std::move(conn)),
        stmt_(std::move(stmt)),
        errors_(std::move(errors)),
        busy_(std::move(busy)),
        stop_(std::move(stop)) {}

  // Streams from the statement: steps onto the first row, whose storage
  // classes describe the columns.
  void OpenStreaming(int recordCount) {
    recordCount_ = recordCount;
    Step();
    Describe([this](int i) { return eof_ ? SQLITE_NULL : sqlite3_column_type(stmt_.get(), i); });
  }

  // Runs the statement to its end once, keeping the first `keep` rows and
  // counting all; the statement is released before the first row is read.
  // A failure on the way surfaces where the streaming read would meet it.
  void OpenKept(int keep) {
    sqlite3_stmt* stmt = stmt_.get();
    const int n = sqlite3_column_count(stmt);
    std::vector<int> firstTypes(static_cast<size_t>(n), SQLITE_NULL);
    int64_t rows = 0;
    int rc;
    {
      TBusyWatch watch(conn_.get(), busy_);
      while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        if (rows == 0)
          for (int i = 0; i < n; ++i) firstTypes[static_cast<size_t>(i)] = sqlite3_column_type(stmt, i);
        if (rows < keep) Keep(stmt, n);
        ++rows;
      }
      // Stopped while counting: the rows end here, and so does the count.
      if (watch.Stopped()) {
        rc = SQLITE_DONE;
        stop_->Mark();
      }
    }
    recordCount_ = ClampCount(rows);
    keptRows_ = rows < keep ? rows : keep;
    // The engine reads one row past the last it keeps, so a failure there
    // is its failure too; one further on it would never have met.
    if (rc != SQLITE_DONE && rows <= keep) {
      failErr_ = sqlite3_extended_errcode(conn_.get());
      failText_ = ErrText(conn_.get());
    }
    Describe([&firstTypes](int i) { return firstTypes[static_cast<size_t>(i)]; });
    stmt_.reset();
    cells_.resize(static_cast<size_t>(n));
    kept_ = true;
    NextKept();
  }

  int FieldCount() override { return static_cast<int>(fields_.size()); }
  int RecordCount() override { return recordCount_; }
  TField& Field(int index) override {
    if (index < 0 || index >= FieldCount()) throw TSessionError(0, {});
    return *fields_[static_cast<size_t>(index)];
  }
  bool Eof() override { return eof_; }
  void MoveNext() override {
    if (eof_) return;
    if (kept_)
      NextKept();
    else
      Step();
  }

  TSqliteCell Cell(int i) const {
    return kept_ ? cells_[static_cast<size_t>(i)] : ReadCell(stmt_.get(), i);
  }

 private:
  template <class StorageOf>
  void Describe(StorageOf storageOf) {
    const int n = sqlite3_column_count(stmt_.get());
    for (int i = 0; i < n; ++i) {
      const char* decl = sqlite3_column_decltype(stmt_.get(), i);
      const char* name = sqlite3_column_name(stmt_.get(), i);
      fields_.push_back(std::make_unique<TSqliteField>(*this, i, MapSqliteType(decl, storageOf(i)),
                                                       Utf8ToSjis(name ? name : "")));
    }
  }

  void Step() {
    TBusyWatch watch(conn_.get(), busy_);
    int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW) return;
    eof_ = true;
    if (watch.Stopped())
      stop_->Mark();
    else if (rc != SQLITE_DONE)
      errors_->Fail(sqlite3_extended_errcode(conn_.get()), ErrText(conn_.get()));
  }

  void Keep(sqlite3_stmt* stmt, int n) {
    for (int i = 0; i < n; ++i) {
      const TSqliteCell c = ReadCell(stmt, i);
      buffer_.push_back(static_cast<char>(c.Type));
      if (c.Type == SQLITE_INTEGER) {
        buffer_.append(reinterpret_cast<const char*>(&c.Int), sizeof c.Int);
      } else if (c.Type == SQLITE_FLOAT) {
        buffer_.append(reinterpret_cast<const char*>(&c.Real), sizeof c.Real);
      } else if (c.Type != SQLITE_NULL) {
        const auto len = static_cast<uint32_t>(c.Text.size());
        buffer_.append(reinterpret_cast<const char*>(&len), sizeof len);
        buffer_.append(c.Text);
      }
    }
  }

  // Unpacks the next kept row into cells_, or ends the rows (with the
  // pass's failure, if it met one there).
  void NextKept() {
    if (next_ >= keptRows_) {
      eof_ = true;
      buffer_ = std::string();
      if (failErr_ != 0) errors_->Fail(failErr_, failText_);
      return;
    }
    ++next_;
    const char* p = buffer_.data() + pos_;
    for (TSqliteCell& c : cells_) {
      c = TSqliteCell{};
      c.Type = static_cast<unsigned char>(*p++);
      if (c.Type == SQLITE_INTEGER) {
        std::memcpy(&c.Int, p, sizeof c.Int);
        p += sizeof c.Int;
      } else if (c.Type == SQLITE_FLOAT) {
        std::memcpy(&c.Real, p, sizeof c.Real);
        p += sizeof c.Real;
      } else if (c.Type != SQLITE_NULL) {
        uint32_t len;
        std::memcpy(&len, p, sizeof len);
        p += sizeof len;
        c.Text = std::string_view(p, len);
        p += len;
      }
    }
    pos_ = static_cast<size_t>(p - buffer_.data());
  }

  TConnection conn_;
  TStmt stmt_;
  std::shared_ptr<TErrorMembers> errors_;  // the database's: a failed fetch is its error
  TDatabase::TBusyHandler busy_;
  TStopState stop_;
  int recordCount_ = 0;
  bool eof_ = false;
  std::vector<std::unique_ptr<TSqliteField>> fields_;
  // The kept rows.
  bool kept_ = false;
  std::string buffer_;
  size_t pos_ = 0;
  int64_t keptRows_ = 0, next_ = 0;
  std::vector<TSqliteCell> cells_;
  int failErr_ = 0;
  std::string failText_;
};

TFieldValue TSqliteField::Value() {
  TFieldValue v;
  const TSqliteCell c = owner_.Cell(index_);
  switch (c.Type) {
    case SQLITE_NULL:
      return v;
    case SQLITE_INTEGER: {
      if (Code() == otDate) return DateValue(UnixSecondsToDateTime(c.Int));
      char buf[32];
      auto r = std::to_chars(buf, buf + sizeof buf, c.Int);
      buf_.assign(buf, r.ptr);
      break;
    }
    case SQLITE_FLOAT: {
      if (Code() == otDate && std::isfinite(c.Real)) return DateValue(JulianDayToDateTime(c.Real));
      buf_ = FormatSqliteReal(c.Real);
      break;
    }
    default: {
      TDateTime dt;
      if (Code() == otDate && PlainDateCellText(c.Text, buf_)) break;
      if (Code() == otDate && ParseSqliteDate(c.Text, dt)) return DateValue(dt);
      buf_.clear();
      AppendUtf8AsSjis(buf_, c.Text);
      break;
    }
  }
  v.Kind = TValueKind::Text;
  v.Text = buf_;
  return v;
}

class TSqliteDatabase final : public TDatabase {
 public:
  explicit TSqliteDatabase(TConnection conn)
      : conn_(std::move(conn)), openedCache_(TChangeCache::CacheSize(conn_.get())) {}

  int ExecuteSql(const std::string& sqlCp932) override {
    errors_->ClearError();
    StopState()->Clear();
    std::string sql = SjisToUtf8(sqlCp932);
    const char* p = sql.c_str();
    if (TrimStatement(p).empty()) errors_->Fail(kNoStatementErr, SJ("実行するＳＱＬ文がありません"));
    // A script of several statements runs them all, as the sqlite3 shell does.
    const TChangeCache cache(conn_.get(), openedCache_);
    int changes = 0;
    while (!TrimStatement(p).empty()) {
      TStmt stmt = Prepare(p, &p);
      if (!stmt) continue;
      // sqlite3_changes keeps the count of the last INSERT, UPDATE or DELETE
      // through any later CREATE or DROP; only a statement that changed rows
      // may report it.
      const sqlite3_int64 before = sqlite3_total_changes64(conn_.get());
      const bool userTransaction = !sqlite3_get_autocommit(conn_.get());
      // Manual commit: a change opens the transaction that waits for the
      // user's COMMIT; a read opens none, so it holds no lock afterwards.
      const bool opened = !AutoCommit() && !userTransaction && !sqlite3_stmt_readonly(stmt.get()) &&
                          TransactionWord(sqlite3_sql(stmt.get())) == TTransactionWord::Other;
      if (opened && sqlite3_exec(conn_.get(), "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) Fail();
      // A statement that failed or was stopped left nothing in the
      // transaction it opened.
      const auto dropOpened = [&] {
        if (opened && !sqlite3_get_autocommit(conn_.get()))
          sqlite3_exec(conn_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
      };
      int rc;
      {
        // A long statement lets the window work, and a stop interrupts it:
        // SQLite then undoes what the statement had done.
        TBusyWatch watch(conn_.get(), BusyHandler());
        while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
        }
        if (watch.Stopped()) {
          stmt.reset();
          dropOpened();
          // An interrupted change inside the user's transaction takes the
          // whole transaction with it.
          const bool lost = userTransaction && sqlite3_get_autocommit(conn_.get());
          StopState()->Mark(lost ? SJ("中断した文とともに、開始していたトランザクションはロールバックされました。")
                                 : std::string());
          return 0;
        }
      }
      if (rc != SQLITE_DONE) {
        const int err = sqlite3_extended_errcode(conn_.get());
        const std::string text = ErrText(conn_.get());
        stmt.reset();
        dropOpened();
        errors_->Fail(err, text);
      }
      if (sqlite3_total_changes64(conn_.get()) != before) changes += sqlite3_changes(conn_.get());
    }
    return changes;
  }

  std::unique_ptr<TDynaset> CreateDynaset(const std::string& sqlCp932, int /*options*/) override {
    errors_->ClearError();
    StopState()->Clear();
    std::string sql = SjisToUtf8(sqlCp932);
    if (TrimStatement(sql).empty()) errors_->Fail(kNoStatementErr, SJ("実行するＳＱＬ文がありません"));
    const char* tail = nullptr;
    TStmt stmt = Prepare(sql.c_str(), &tail);
    if (!stmt) errors_->Fail(kNoStatementErr, SJ("実行するＳＱＬ文がありません"));
    if (!TrimStatement(tail).empty())
      errors_->Fail(SQLITE_ERROR, SJ("問合せは一つのＳＥＬＥＣＴ文にしてください"));
    auto dynaset = std::make_unique<TSqliteDynaset>(conn_, std::move(stmt), errors_, BusyHandler(), StopState());
    const int64_t count = CountCheaply(std::string(sql.c_str(), tail));
    if (count >= 0)
      dynaset->OpenStreaming(ClampCount(count));
    else
      dynaset->OpenKept(std::max(RowsWanted(), 0));
    return dynaset;
  }

  int LastServerErr() override { return errors_->LastErr(); }
  std::string LastServerErrText() override { return errors_->LastText(); }
  TSqlDialect Dialect() override { return SqliteDialect(); }
  bool InTransaction() override { return !sqlite3_get_autocommit(conn_.get()); }

 private:
  [[noreturn]] void Fail() { errors_->Fail(sqlite3_extended_errcode(conn_.get()), ErrText(conn_.get())); }

  TStmt Prepare(const char* sql, const char** tail) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(conn_.get(), sql, -1, &raw, tail) != SQLITE_OK) Fail();
    return TStmt(raw);
  }

  // The full row count when SQLite can give it cheaply, else -1. Counting
  // a plain table, or a filter or join the indexes answer, takes a few
  // steps; counting a GROUP BY, a sort SQLite cannot skip or a full scan
  // with a filter costs as much as the query itself. So the count gets a
  // small budget of virtual machine steps (up to some 50 ms); beyond it,
  // or where the query cannot be wrapped (a PRAGMA), the dynaset counts in
  // the one pass that also keeps the rows the engine will read, and the
  // statement's work is done once.
  // Measured on 1,000,000 rows of 8 columns: a plain table counts in some
  // 50 ms (one virtual machine step that reads every page: the window waits
  // that long, as for opening any query), a GROUP BY or ORDER BY would have
  // cost 0.3 to 0.8 s more to count apart and now costs nothing extra. The
  // pass that counts runs under the busy watch, so a long one lets the
  // window work and can be stopped; memory-mapped reading would make the
  // plain count a few milliseconds but map the whole file into the process.
  int64_t CountCheaply(std::string query) {
    while (!query.empty() && (std::isspace(static_cast<unsigned char>(query.back())) || query.back() == ';'))
      query.pop_back();
    sqlite3_stmt* raw = nullptr;
    const std::string wrapped = "SELECT count(*) FROM (" + query + "\n)";
    if (sqlite3_prepare_v2(conn_.get(), wrapped.c_str(), -1, &raw, nullptr) != SQLITE_OK || !raw) return -1;
    TStmt count(raw);
    // The budget can take tens of milliseconds: the window works meanwhile.
    // A stop here is asked again by the pass that counts, which ends there.
    TBusyWatch watch(conn_.get(), BusyHandler(), kCountSteps);
    const int rc = sqlite3_step(count.get());
    return rc == SQLITE_ROW ? sqlite3_column_int64(count.get(), 0) : -1;
  }

  TConnection conn_;
  std::optional<int64_t> openedCache_;  // the page cache size it opened with
  std::shared_ptr<TErrorMembers> errors_ = std::make_shared<TErrorMembers>();
};

// Makes `target` a copy of the database `templ` unless it exists. The copy
// goes through SQLite's backup, not the bytes of the file: the template may
// be the live database of another instance (a renamed copy starts from the
// one beside it), and a file copied in the middle of its writer's
// transaction would hold half of it without the journal that undoes it. A
// template locked for longer than the usual lock wait is not copied. A
// missing template is no failure: the database then starts empty.
bool CopyDatabaseIfMissing(const std::string& templ, const std::string& target) {
  if (access(target.c_str(), F_OK) == 0) return true;
  if (access(templ.c_str(), F_OK) != 0) return errno == ENOENT;
  // The copy is private to the user from its first byte, under a name of
  // its own that nobody could have put a file or a link at beforehand.
  std::string temp = target + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  sqlite3 *from = nullptr, *to = nullptr;
  bool ok = sqlite3_open_v2(templ.c_str(), &from, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
            sqlite3_open_v2(temp.c_str(), &to, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr) == SQLITE_OK;
  if (ok) {
    // The template's writer is waited for as any lock is.
    sqlite3_busy_timeout(from, TBusyWatch::kLockWaitMs);
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    ok = backup && sqlite3_backup_step(backup, -1) == SQLITE_DONE;
    if (backup) sqlite3_backup_finish(backup);
  }
  sqlite3_close_v2(from);
  ok = sqlite3_close_v2(to) == SQLITE_OK && ok;
  // link() never replaces: a database that appeared meanwhile stays as it
  // is. A file system without hard links gets the rename instead.
  if (ok && link(temp.c_str(), target.c_str()) != 0 && errno != EEXIST)
    ok = rename(temp.c_str(), target.c_str()) == 0;
  unlink(temp.c_str());
  return ok;
}

}  // namespace

std::unique_ptr<TDatabase> OpenSqliteDatabase(const std::string& path, const std::string& templ) {
  // SQLite reads an empty name as a private temporary database that vanishes
  // at disconnect, with everything written to it.
  if (path.empty()) throw TSessionError(SQLITE_CANTOPEN, SJ("データベースファイルが指定されていません"));
  struct stat st{};
  if (path != ":memory:" && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw TSessionError(SQLITE_CANTOPEN, SJ("データベースファイルではなくディレクトリです: ") + Utf8ToSjis(path));
  if (!templ.empty() && !CopyDatabaseIfMissing(templ, path))
    throw TSessionError(SQLITE_CANTOPEN, SJ("サンプルデータベースを複写できません: ") + Utf8ToSjis(path));
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
  TConnection conn(raw, [](sqlite3* db) { sqlite3_close_v2(db); });
  if (rc != SQLITE_OK) {
    std::string text = raw ? ErrText(raw) : std::string("out of memory");
    throw TSessionError(rc, text + ": " + Utf8ToSjis(path));
  }
  // One thread uses a connection: no per-call mutex.
  sqlite3_extended_result_codes(raw, 1);
  sqlite3_busy_timeout(raw, TBusyWatch::kLockWaitMs);
  // Touch the schema now, so a file that is no database is refused at logon.
  if (sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK)
    throw TSessionError(sqlite3_extended_errcode(raw), ErrText(raw) + ": " + Utf8ToSjis(path));
  return std::make_unique<TSqliteDatabase>(std::move(conn));
}

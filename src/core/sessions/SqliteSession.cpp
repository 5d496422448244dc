// The embedded database: SQLite, with its declared column types mapped to the
// Oracle type codes and its date texts and numbers read as date-times.

#include <sqlite3.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>
#include <sys/stat.h>

#include "core/FileLocations.h"
#include "core/Sjis.h"
#include "core/sessions/Backends.h"
#include "core/sessions/ServerTypes.h"
#include "core/sessions/SqliteTypes.h"

namespace {

using TConnection = std::shared_ptr<sqlite3>;

struct TStmtCloser {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using TStmt = std::unique_ptr<sqlite3_stmt, TStmtCloser>;

constexpr int kNoStatementErr = SQLITE_MISUSE;

std::string ErrText(sqlite3* db) { return Utf8ToSjis(sqlite3_errmsg(db)); }

class TSqliteField final : public TField {
 public:
  TSqliteField(sqlite3_stmt* stmt, int index, const TSqliteColumnType& type, std::string name)
      : stmt_(stmt), index_(index), type_(type), name_(std::move(name)) {}

  std::string Name() override { return name_; }
  int OraMaxSize() override { return type_.Size; }
  int OraPrecision() override { return type_.Precision; }
  int OraScale() override { return type_.Scale; }
  int OraIDataType() override { return type_.Code; }

  TFieldValue Value() override {
    TFieldValue v;
    switch (sqlite3_column_type(stmt_, index_)) {
      case SQLITE_NULL:
        return v;
      case SQLITE_INTEGER: {
        sqlite3_int64 n = sqlite3_column_int64(stmt_, index_);
        if (type_.Code == 12) return DateValue(UnixSecondsToDateTime(n));
        char buf[32];
        auto r = std::to_chars(buf, buf + sizeof buf, n);
        buf_.assign(buf, r.ptr);
        break;
      }
      case SQLITE_FLOAT: {
        double d = sqlite3_column_double(stmt_, index_);
        if (type_.Code == 12 && std::isfinite(d)) return DateValue(JulianDayToDateTime(d));
        buf_ = FormatSqliteReal(d);
        break;
      }
      default: {
        const char* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt_, index_));
        int bytes = sqlite3_column_bytes(stmt_, index_);
        std::string_view utf8(text ? text : "", text ? static_cast<size_t>(bytes) : 0);
        TDateTime dt;
        if (type_.Code == 12 && ParseSqliteDate(utf8, dt)) return DateValue(dt);
        buf_.clear();
        AppendUtf8AsSjis(buf_, utf8);
        break;
      }
    }
    v.Kind = TValueKind::Text;
    v.Text = buf_;
    return v;
  }

 private:
  static TFieldValue DateValue(TDateTime dt) {
    TFieldValue v;
    v.Kind = TValueKind::DateTime;
    v.Date = dt;
    return v;
  }

  sqlite3_stmt* stmt_;
  int index_;
  TSqliteColumnType type_;
  std::string name_;
  std::string buf_;
};

class TSqliteDynaset final : public TDynaset {
 public:
  TSqliteDynaset(TConnection conn, TStmt stmt, int recordCount, std::shared_ptr<TErrorMembers> errors)
      : conn_(std::move(conn)), stmt_(std::move(stmt)), recordCount_(recordCount), errors_(std::move(errors)) {}

  // Steps onto the first row and describes the columns from it.
  void Open() {
    Step();
    int n = sqlite3_column_count(stmt_.get());
    for (int i = 0; i < n; ++i) {
      const char* decl = sqlite3_column_decltype(stmt_.get(), i);
      int storage = eof_ ? SQLITE_NULL : sqlite3_column_type(stmt_.get(), i);
      const char* name = sqlite3_column_name(stmt_.get(), i);
      fields_.push_back(std::make_unique<TSqliteField>(stmt_.get(), i, MapSqliteType(decl, storage),
                                                       Utf8ToSjis(name ? name : "")));
    }
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

 private:
  void Step() {
    int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW) return;
    eof_ = true;
    if (rc != SQLITE_DONE) errors_->Fail(sqlite3_extended_errcode(conn_.get()), ErrText(conn_.get()));
  }

  TConnection conn_;
  TStmt stmt_;
  int recordCount_;
  std::shared_ptr<TErrorMembers> errors_;  // the database's: a failed fetch is its error
  bool eof_ = false;
  std::vector<std::unique_ptr<TSqliteField>> fields_;
};

class TSqliteDatabase final : public TDatabase {
 public:
  explicit TSqliteDatabase(TConnection conn) : conn_(std::move(conn)) {}

  int ExecuteSql(const std::string& sqlCp932) override {
    errors_->ClearError();
    std::string sql = SjisToUtf8(sqlCp932);
    const char* p = sql.c_str();
    if (TrimStatement(p).empty()) errors_->Fail(kNoStatementErr, SJ("実行するＳＱＬ文がありません"));
    // A script of several statements runs them all, as the sqlite3 shell does.
    int changes = 0;
    while (!TrimStatement(p).empty()) {
      TStmt stmt = Prepare(p, &p);
      if (!stmt) continue;
      // sqlite3_changes keeps the count of the last INSERT, UPDATE or DELETE
      // through any later CREATE or DROP; only a statement that changed rows
      // may report it.
      const sqlite3_int64 before = sqlite3_total_changes64(conn_.get());
      int rc;
      while ((rc = sqlite3_step(stmt.get())) == SQLITE_ROW) {
      }
      if (rc != SQLITE_DONE) Fail();
      if (sqlite3_total_changes64(conn_.get()) != before) changes += sqlite3_changes(conn_.get());
    }
    return changes;
  }

  std::unique_ptr<TDynaset> CreateDynaset(const std::string& sqlCp932, int /*options*/) override {
    errors_->ClearError();
    std::string sql = SjisToUtf8(sqlCp932);
    if (TrimStatement(sql).empty()) errors_->Fail(kNoStatementErr, SJ("実行するＳＱＬ文がありません"));
    const char* tail = nullptr;
    TStmt stmt = Prepare(sql.c_str(), &tail);
    if (!stmt) errors_->Fail(kNoStatementErr, SJ("実行するＳＱＬ文がありません"));
    if (!TrimStatement(tail).empty())
      errors_->Fail(SQLITE_ERROR, SJ("問合せは一つのＳＥＬＥＣＴ文にしてください"));
    int count = CountRows(std::string(sql.c_str(), tail));
    auto dynaset = std::make_unique<TSqliteDynaset>(conn_, std::move(stmt), count, errors_);
    dynaset->Open();
    return dynaset;
  }

  int LastServerErr() override { return errors_->LastErr(); }
  std::string LastServerErrText() override { return errors_->LastText(); }

 private:
  [[noreturn]] void Fail() { errors_->Fail(sqlite3_extended_errcode(conn_.get()), ErrText(conn_.get())); }

  TStmt Prepare(const char* sql, const char** tail) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(conn_.get(), sql, -1, &raw, tail) != SQLITE_OK) Fail();
    return TStmt(raw);
  }

  // The full row count, counted by SQLite itself; a query that cannot be
  // wrapped (a PRAGMA, say) is stepped through once more instead.
  int CountRows(std::string query) {
    while (!query.empty() && (std::isspace(static_cast<unsigned char>(query.back())) || query.back() == ';'))
      query.pop_back();
    sqlite3_stmt* raw = nullptr;
    std::string wrapped = "SELECT count(*) FROM (" + query + "\n)";
    if (sqlite3_prepare_v2(conn_.get(), wrapped.c_str(), -1, &raw, nullptr) == SQLITE_OK && raw) {
      TStmt count(raw);
      if (sqlite3_step(count.get()) == SQLITE_ROW) return ClampCount(sqlite3_column_int64(count.get(), 0));
    }
    TStmt again = Prepare(query.c_str(), nullptr);
    int64_t n = 0;
    int rc;
    while (again && (rc = sqlite3_step(again.get())) == SQLITE_ROW) ++n;
    return ClampCount(n);
  }

  static int ClampCount(int64_t n) { return n > INT32_MAX ? INT32_MAX : static_cast<int>(n); }

  TConnection conn_;
  std::shared_ptr<TErrorMembers> errors_ = std::make_shared<TErrorMembers>();
};

}  // namespace

std::unique_ptr<TDatabase> OpenSqliteDatabase(const std::string& path, const std::string& templ) {
  // SQLite reads an empty name as a private temporary database that vanishes
  // at disconnect, with everything written to it.
  if (path.empty()) throw TSessionError(SQLITE_CANTOPEN, SJ("データベースファイルが指定されていません"));
  struct stat st{};
  if (path != ":memory:" && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    throw TSessionError(SQLITE_CANTOPEN, SJ("データベースファイルではなくディレクトリです: ") + Utf8ToSjis(path));
  if (!templ.empty() && !CopyTemplateIfMissing(templ, path))
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
  sqlite3_busy_timeout(raw, 2000);
  // Touch the schema now, so a file that is no database is refused at logon.
  if (sqlite3_exec(raw, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK)
    throw TSessionError(sqlite3_extended_errcode(raw), ErrText(raw) + ": " + Utf8ToSjis(path));
  return std::make_unique<TSqliteDatabase>(std::move(conn));
}

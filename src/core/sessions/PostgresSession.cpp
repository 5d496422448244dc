// PostgreSQL through libpq.
//
// A query runs as a scroll cursor: DECLARE, MOVE FORWARD ALL (the server runs
// the query once and reports the full row count without sending a row), MOVE
// ABSOLUTE 0, then FETCH in batches that grow from 64 rows to 256 rows or
// 128 KiB, so the first row shows at once; the next batch is asked for before
// the current one is read, and no more than two are held. Larger batches
// measured slower, not faster: each is a libpq result of its own, and one far
// past 128 KiB goes back to the system when it is freed and is faulted in
// again for the next, which costs more than the round trips it saves.
// The count costs the server one pass over the result (a plain table scan is
// cheap; a plan that cannot run backwards keeps its rows in a server-side
// store) but nothing is sent twice. A plan that runs backwards runs its
// select list again after the rewind: a volatile function in it (random(),
// one that writes) runs twice, and its rows need not be the rows counted.
//
// A cursor needs a transaction. Outside the user's own transaction the query
// runs in one of ours, committed as soon as the rows are read to the end, the
// next statement runs or the query is dropped; inside the user's transaction
// the cursor is closed at those points and the transaction is left alone.
//
// Texts travel as UTF-8 (client_encoding is pinned) and are turned into cp932
// here, which is cheaper than letting the server convert. Server errors carry
// their SQLSTATE folded into a number (see FoldSqlState).

#include <libpq-fe.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "core/Sjis.h"
#include "core/sessions/Backends.h"
#include "core/sessions/ServerTypes.h"

namespace {

struct TResultCloser {
  void operator()(PGresult* r) const { PQclear(r); }
};
using TResult = std::unique_ptr<PGresult, TResultCloser>;

constexpr unsigned kNumericOid = 1700;
constexpr int kFirstBatch = 64;
constexpr int kMaxBatch = 256;
constexpr size_t kBatchBytes = 128 << 10;

std::string TrimMessage(const char* message) {
  std::string s = message ? message : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s;
}

bool IsAsciiText(const char* p, int n) {
  for (int i = 0; i < n; ++i)
    if (static_cast<unsigned char>(p[i]) >= 0x80) return false;
  return true;
}

// The connection and what the database and its dynasets share of it.
struct TPgLink {
  PGconn* Conn = nullptr;
  std::shared_ptr<TErrorMembers> Errors = std::make_shared<TErrorMembers>();
  int Serial = 0;          // the last cursor number given out
  int ActiveCursor = 0;    // the open cursor's number, 0 when none
  bool OwnTransaction = false;
  bool Pending = false;    // a FETCH is on its way (see TPgDynaset)

  ~TPgLink() {
    try {
      CloseCursor();
    } catch (const TSessionError&) {
    }
    PQfinish(Conn);
  }

  TResult Exec(const std::string& sql) {
    Drain();
    return TResult(PQexec(Conn, sql.c_str()));
  }

  // Throws away the answer to a FETCH sent ahead, so the connection is free.
  void Drain() noexcept {
    if (!Pending) return;
    Pending = false;
    while (PGresult* r = PQgetResult(Conn)) PQclear(r);
  }

  static bool Ok(const PGresult* r) {
    ExecStatusType st = PQresultStatus(r);
    return r && (st == PGRES_COMMAND_OK || st == PGRES_TUPLES_OK);
  }

  // Records a failed result (or a failure without one) and throws it.
  // prefix: the bytes put in front of the user's statement, sql: that statement.
  [[noreturn]] void Fail(const PGresult* r, size_t prefix = 0, std::string_view sql = {}) {
    const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
    const char* primary = r ? PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    std::string text;
    if (primary) {
      const char* severity = PQresultErrorField(r, PG_DIAG_SEVERITY);
      text = std::string(severity ? severity : "ERROR") + ":  " + primary;
      if (const char* detail = PQresultErrorField(r, PG_DIAG_MESSAGE_DETAIL)) text += std::string("\nDETAIL:  ") + detail;
      if (const char* hint = PQresultErrorField(r, PG_DIAG_MESSAGE_HINT)) text += std::string("\nHINT:  ") + hint;
    } else {
      text = TrimMessage(PQerrorMessage(Conn));
      if (text.empty()) text = "unknown failure";
    }
    std::string out = Utf8ToSjis(text);
    if (const char* pos = r ? PQresultErrorField(r, PG_DIAG_STATEMENT_POSITION) : nullptr) AppendPlace(out, pos, prefix, sql);
    std::string_view code = state ? state : (PQstatus(Conn) == CONNECTION_BAD ? "08006" : "HY000");
    Errors->Fail(FoldSqlState(code), std::move(out));
  }

  // Where in the user's statement the server found the error: the server
  // counts characters from 1, over the text it was sent.
  static void AppendPlace(std::string& out, const char* position, size_t prefix, std::string_view sql) {
    long at = std::atol(position) - 1 - static_cast<long>(prefix);
    if (at < 0 || sql.empty()) return;
    int line = 1, column = 1;
    for (size_t i = 0; i < sql.size() && at > 0; ++i) {
      unsigned char c = static_cast<unsigned char>(sql[i]);
      if ((c & 0xC0) == 0x80) continue;  // inside a character
      --at;
      if (c == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    out += SJ("\n(") + std::to_string(line) + SJ("行目 ") + std::to_string(column) + SJ("文字目)");
  }

  // Before each statement: a dropped connection is opened again (the server
  // may have restarted); the session's settings are those of a new logon.
  void EnsureConnected() {
    Drain();
    if (PQstatus(Conn) == CONNECTION_OK) return;
    ActiveCursor = 0;
    OwnTransaction = false;
    PQreset(Conn);
    if (PQstatus(Conn) != CONNECTION_OK)
      Errors->Fail(FoldSqlState("08006"),
                   SJ("PostgreSQL サーバーとの接続が切れています: ") + Utf8ToSjis(TrimMessage(PQerrorMessage(Conn))));
    Prepare();
  }

  // Date-times in ISO form, whatever the server's default.
  void Prepare() {
    TResult r = Exec("SET DateStyle TO ISO");
    if (!Ok(r.get())) Fail(r.get());
  }

  // Ends the open cursor: our transaction is committed (a query may have
  // called functions that write), the user's is left open.
  void CloseCursor() {
    Drain();
    if (ActiveCursor == 0) return;
    const int cursor = ActiveCursor;
    const bool own = OwnTransaction;
    ActiveCursor = 0;
    OwnTransaction = false;
    if (PQstatus(Conn) != CONNECTION_OK) return;
    PGTransactionStatusType ts = PQtransactionStatus(Conn);
    if (own) {
      TResult r = Exec(ts == PQTRANS_INERROR ? "ROLLBACK" : "COMMIT");
      if (!Ok(r.get())) Fail(r.get());
    } else if (ts == PQTRANS_INTRANS) {
      TResult r = Exec("CLOSE " + CursorName(cursor));
      if (!Ok(r.get())) Fail(r.get());
    }
  }

  // After a failed fetch: our transaction is rolled back so the session
  // stays usable; the user's is theirs to end.
  void AbandonCursor() noexcept {
    Drain();
    const bool own = OwnTransaction;
    ActiveCursor = 0;
    OwnTransaction = false;
    if (own && PQstatus(Conn) == CONNECTION_OK && PQtransactionStatus(Conn) != PQTRANS_IDLE) Exec("ROLLBACK");
  }

  static std::string CursorName(int n) { return "quorrel_cursor_" + std::to_string(n); }
};

class TPgDynaset;

class TPgField final : public TField {
 public:
  TPgField(TPgDynaset& owner, int index, std::string name, unsigned oid, TServerColumnType type)
      : owner_(owner), index_(index), name_(std::move(name)), oid_(oid), type_(type) {}

  std::string Name() override { return name_; }
  int OraMaxSize() override { return type_.Size; }
  int OraPrecision() override { return type_.Precision; }
  int OraScale() override { return type_.Scale; }
  int OraIDataType() override { return type_.Code; }
  TFieldValue Value() override;

 private:
  TPgDynaset& owner_;
  int index_;
  std::string name_;
  unsigned oid_;
  TServerColumnType type_;
  std::string buf_;
};

class TPgDynaset final : public TDynaset {
 public:
  // cursor 0: result is the whole answer of a statement run without a cursor.
  TPgDynaset(std::shared_ptr<TPgLink> link, int cursor, int recordCount)
      : link_(std::move(link)), cursor_(cursor), recordCount_(recordCount) {}

  ~TPgDynaset() override {
    if (cursor_ != 0 && link_->ActiveCursor == cursor_) {
      try {
        link_->CloseCursor();
      } catch (const TSessionError&) {
      }
    }
  }

  // Positions on the first row and describes the columns.
  void Open(TResult first) {
    if (first) {
      Take(std::move(first), 0);
      lastBatch_ = true;
    } else {
      Fetch(kFirstBatch);
    }
    const PGresult* r = batch_.get();
    for (int i = 0; i < PQnfields(r); ++i) {
      unsigned oid = PQftype(r, i);
      fields_.push_back(std::make_unique<TPgField>(*this, i, Utf8ToSjis(PQfname(r, i)), oid,
                                                   MapPostgresType(oid, PQfmod(r, i))));
    }
  }

  int FieldCount() override { return static_cast<int>(fields_.size()); }
  int RecordCount() override { return recordCount_; }
  TField& Field(int index) override {
    if (index < 0 || index >= FieldCount()) throw TSessionError(0, {});
    return *fields_[static_cast<size_t>(index)];
  }
  bool Eof() override { return row_ >= rows_; }

  void MoveNext() override {
    if (row_ >= rows_) return;
    if (++row_ < rows_) {
      // Take in what has arrived of the next batch, so the server is not
      // held up by a full socket while these rows are read.
      if (link_->Pending && (row_ & 127) == 0) PQconsumeInput(link_->Conn);
      return;
    }
    if (lastBatch_ || link_->ActiveCursor != cursor_) {
      Finish();
      return;
    }
    if (!link_->Pending) Request(NextBatchSize());
    Receive();
  }

  const PGresult* Batch() const { return batch_.get(); }
  int Row() const { return row_; }

 private:
  void Fetch(int count) {
    Request(count);
    Receive();
  }

  // Batches are fetched one ahead: while the rows of one are read, the
  // server makes the next, so its work and ours overlap. At most two
  // batches exist at a time.
  void Request(int count) {
    const std::string fetch = "FETCH FORWARD " + std::to_string(count) + " FROM " + TPgLink::CursorName(cursor_);
    link_->Drain();
    if (!PQsendQuery(link_->Conn, fetch.c_str())) Failed(nullptr);
    link_->Pending = true;
    requested_ = count;
  }

  void Receive() {
    TResult r;
    while (PGresult* next = PQgetResult(link_->Conn)) {
      if (!r)
        r.reset(next);
      else
        PQclear(next);
    }
    link_->Pending = false;
    if (!TPgLink::Ok(r.get())) Failed(r.get());
    Take(std::move(r), requested_);
    if (!lastBatch_)
      Request(NextBatchSize());
    else if (rows_ == 0)
      Finish();
  }

  [[noreturn]] void Failed(const PGresult* r) {
    batch_.reset();
    rows_ = row_ = 0;
    link_->AbandonCursor();
    link_->Fail(r);
  }

  void Take(TResult r, int requested) {
    batch_ = std::move(r);
    rows_ = PQntuples(batch_.get());
    row_ = 0;
    lastBatch_ = rows_ < requested;
  }

  // Large rows make small batches, so a batch stays near kBatchBytes.
  int NextBatchSize() const {
    const PGresult* r = batch_.get();
    size_t bytes = 0;
    const int n = PQnfields(r);
    for (int row : {0, rows_ / 2, rows_ - 1})
      for (int c = 0; c < n; ++c) bytes += static_cast<size_t>(PQgetlength(r, row, c)) + 8;
    const size_t perRow = std::max<size_t>(bytes / 3, 1);
    const size_t fits = std::max<size_t>(kBatchBytes / perRow, 1);
    return static_cast<int>(std::min<size_t>({fits, static_cast<size_t>(kMaxBatch),
                                              static_cast<size_t>(std::max(rows_, 1)) * 4}));
  }

  // The rows are read to the end: the cursor and our transaction end now.
  void Finish() {
    if (cursor_ != 0 && link_->ActiveCursor == cursor_) link_->CloseCursor();
  }

  std::shared_ptr<TPgLink> link_;
  int cursor_;
  int recordCount_;
  TResult batch_;
  int rows_ = 0, row_ = 0, requested_ = 0;
  bool lastBatch_ = false;
  std::vector<std::unique_ptr<TPgField>> fields_;
};

TFieldValue TPgField::Value() {
  TFieldValue v;
  const PGresult* r = owner_.Batch();
  const int row = owner_.Row();
  if (!r || row >= PQntuples(r)) return v;
  // Only an empty value can be a NULL.
  const int len = PQgetlength(r, row, index_);
  if (len == 0 && PQgetisnull(r, row, index_)) return v;
  const char* text = PQgetvalue(r, row, index_);
  std::string_view raw(text, static_cast<size_t>(len));
  if (type_.Code == 12 && ParseIsoDateTime(raw, v.Date)) {
    v.Kind = TValueKind::DateTime;
    return v;
  }
  v.Kind = TValueKind::Text;
  if (oid_ == kNumericOid) {
    v.Text = TrimNumberText(raw);
  } else if (IsAsciiText(text, len)) {
    v.Text = raw;  // the same bytes in cp932; valid until the next batch
  } else {
    buf_.clear();
    AppendUtf8AsSjis(buf_, raw);
    v.Text = buf_;
  }
  return v;
}

class TPgDatabase final : public TDatabase {
 public:
  explicit TPgDatabase(std::shared_ptr<TPgLink> link) : link_(std::move(link)) {}

  int ExecuteSql(const std::string& sqlCp932) override {
    const std::string sql = Statement(sqlCp932);
    link_->EnsureConnected();
    link_->CloseCursor();
    PGconn* conn = link_->Conn;
    if (!PQsendQuery(conn, sql.c_str())) link_->Fail(nullptr);
    // Row by row, so a statement that returns rows is counted, not kept.
    PQsetSingleRowMode(conn);
    long long total = 0;
    TResult error;
    while (TResult r{PQgetResult(conn)}) {
      switch (PQresultStatus(r.get())) {
        case PGRES_COMMAND_OK:
        case PGRES_TUPLES_OK:
          total += std::atoll(PQcmdTuples(r.get()));
          break;
        case PGRES_COPY_IN:
          PQputCopyEnd(conn, "COPY FROM STDIN is not available here");
          break;
        case PGRES_COPY_OUT: {
          char* buf = nullptr;
          while (PQgetCopyData(conn, &buf, 0) > 0) PQfreemem(buf);
          break;
        }
        case PGRES_SINGLE_TUPLE:
        case PGRES_EMPTY_QUERY:
          break;
        default:
          if (!error) error = std::move(r);
          break;
      }
      if (PQstatus(conn) == CONNECTION_BAD) break;
    }
    if (error) link_->Fail(error.get(), 0, sql);
    if (PQstatus(conn) == CONNECTION_BAD) link_->Fail(nullptr);
    return static_cast<int>(std::min<long long>(total, INT_MAX));
  }

  std::unique_ptr<TDynaset> CreateDynaset(const std::string& sqlCp932, int /*options*/) override {
    const std::string utf8 = Statement(sqlCp932);
    const std::string_view sql = TrimStatement(utf8);
    link_->EnsureConnected();
    link_->CloseCursor();

    const bool own = PQtransactionStatus(link_->Conn) == PQTRANS_IDLE;
    if (own) {
      TResult r = link_->Exec("BEGIN");
      if (!TPgLink::Ok(r.get())) link_->Fail(r.get());
    }
    const int cursor = ++link_->Serial;
    const std::string name = TPgLink::CursorName(cursor);
    const std::string declare = "DECLARE " + name + " SCROLL CURSOR FOR ";
    // The extended protocol takes one statement only, so a second statement
    // after the query is refused instead of being run unseen.
    TResult r(PQexecParams(link_->Conn, (declare + std::string(sql)).c_str(), 0, nullptr, nullptr, nullptr,
                           nullptr, 0));
    if (!TPgLink::Ok(r.get())) {
      const char* state = PQresultErrorField(r.get(), PG_DIAG_SQLSTATE);
      if (own) link_->Exec("ROLLBACK");
      // Valid SQL that cannot be a cursor (SELECT … INTO) runs as it is; a
      // real syntax error is then reported against the user's own text.
      if (own && state && std::strcmp(state, "42601") == 0) return RunPlain(sql);
      link_->Fail(r.get(), declare.size(), sql);
    }
    link_->ActiveCursor = cursor;
    link_->OwnTransaction = own;

    TResult moved = link_->Exec("MOVE FORWARD ALL IN " + name);
    if (!TPgLink::Ok(moved.get())) {
      link_->AbandonCursor();
      link_->Fail(moved.get());
    }
    const long long count = std::atoll(PQcmdTuples(moved.get()));
    TResult back = link_->Exec("MOVE ABSOLUTE 0 IN " + name);
    if (!TPgLink::Ok(back.get())) {
      link_->AbandonCursor();
      link_->Fail(back.get());
    }
    auto dynaset = std::make_unique<TPgDynaset>(link_, cursor, static_cast<int>(std::min<long long>(count, INT_MAX)));
    dynaset->Open(nullptr);
    return dynaset;
  }

  int LastServerErr() override { return link_->Errors->LastErr(); }
  std::string LastServerErrText() override { return link_->Errors->LastText(); }

 private:
  std::string Statement(const std::string& sqlCp932) {
    return ServerStatement(sqlCp932, *link_->Errors, FoldSqlState("42601"));
  }

  std::unique_ptr<TDynaset> RunPlain(std::string_view sql) {
    TResult r(PQexecParams(link_->Conn, std::string(sql).c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0));
    if (!TPgLink::Ok(r.get())) link_->Fail(r.get(), 0, sql);
    const long long count = PQresultStatus(r.get()) == PGRES_TUPLES_OK ? PQntuples(r.get()) : std::atoll(PQcmdTuples(r.get()));
    auto dynaset = std::make_unique<TPgDynaset>(link_, 0, static_cast<int>(std::min<long long>(count, INT_MAX)));
    dynaset->Open(std::move(r));
    return dynaset;
  }

  std::shared_ptr<TPgLink> link_;
};

}  // namespace

std::unique_ptr<TDatabase> OpenPostgresDatabase(const std::string& conninfo, const std::string& user,
                                                const std::string& password) {
  // Later keywords override what the host string says: the dialog's user and
  // password when given, and always UTF-8. A timeout the host string sets wins.
  std::vector<const char*> keys{"connect_timeout", "fallback_application_name", "dbname"};
  std::vector<const char*> values{"10", "Quorrel", conninfo.c_str()};
  if (!user.empty()) {
    keys.push_back("user");
    values.push_back(user.c_str());
  }
  if (!password.empty()) {
    keys.push_back("password");
    values.push_back(password.c_str());
  }
  keys.push_back("client_encoding");
  values.push_back("UTF8");
  keys.push_back(nullptr);
  values.push_back(nullptr);

  auto link = std::make_shared<TPgLink>();
  link->Conn = PQconnectdbParams(keys.data(), values.data(), 1);
  if (!link->Conn) throw TSessionError(FoldSqlState("08001"), SJ("PostgreSQL への接続を用意できません"));
  if (PQstatus(link->Conn) != CONNECTION_OK) {
    std::string message = TrimMessage(PQerrorMessage(link->Conn));
    const bool refused = message.find("password") != std::string::npos ||
                         message.find("authentication") != std::string::npos;
    throw TSessionError(FoldSqlState(refused ? "28P01" : "08001"),
                        (refused ? SJ("PostgreSQL サーバーがログオンを拒否しました: ")
                                 : SJ("PostgreSQL サーバーに接続できません: ")) +
                            Utf8ToSjis(message));
  }
  PQsetNoticeProcessor(link->Conn, [](void*, const char*) {}, nullptr);  // notices are not errors
  link->Prepare();
  return std::make_unique<TPgDatabase>(std::move(link));
}

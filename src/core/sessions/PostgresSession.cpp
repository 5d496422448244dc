// PostgreSQL through libpq.
//
// Everything goes out with libpq's asynchronous calls, the logon included:
// while the server works, this side waits on the connection's socket in
// steps of 10 ms and lets the database's busy handler run (the window keeps
// working). A stop sends a cancel request (PQcancel, on a thread of its own,
// since it opens a connection of its own and waits for the server), and the
// statement then ends as the server ends it: with "canceling statement due
// to user request", which counts as a stop and not as an error. The request
// is never waited for on the caller's thread, but nothing is sent to the
// server while it is on its way (it would stop whatever runs when it lands):
// the next statement waits for it as it waits for the server. A handler
// that gives up on the server drops the connection if the server has not
// ended the statement within a second.
//
// A connection that is found closed before a statement (the server
// restarted, or it was given up) is opened again, but the statement is not
// run: the new session lacks what the user set up on the old one (SET,
// temporary tables, prepared statements, a transaction), so the user is told
// and runs it again. Nothing is run twice after a failure either.
//
// A query runs once, as a forward-only cursor: FETCH takes the first rows
// up to the row limit into this process, then MOVE FORWARD ALL counts the
// rest on the server without sending them, and the cursor and our read
// transaction end at once, before the first row is read. So volatile
// functions run once per row, the rows shown are rows of the counted
// result, and memory holds no more than the row limit allows. (A scroll
// cursor that counted first and was rewound ran the select list of a plan
// that can run backwards twice per row.) The cost is that no row shows
// before the server has reached the end of the result, which the count
// needs anyway. That wait is put to use: each batch is made into cells
// (cp932, numbers trimmed, dates as their cell text; see TKeptRows) while
// the server already works on the next FETCH, or on the MOVE that counts
// the rest, and the batch's libpq result is freed at once. The engine then
// reads cells without converting them, and the rows are held once,
// compactly, until the grid has them. Batches grow from 256 rows to 16,384
// or 4 MiB, so fewer round trips are waited for. Handing each batch to the
// grid as it comes would show the first row sooner, but the count would
// then be known only after the last row, not when the query opens.
// (ui_run_bench pg measures all this against psql's COPY.)
//
// A cursor needs a transaction. Outside the user's own transaction the query
// runs in one of ours, committed as soon as its rows are counted; inside the
// user's transaction the cursor is closed then and the transaction is left
// alone. A stop inside the user's transaction leaves it aborted, as the
// server does with any failed statement, and the stop says so; a stopped
// COMMIT ends it without committing, and the stop says that. A cursor that
// a stop between two batches leaves open in it is closed.
//
// Texts travel as UTF-8 (client_encoding is pinned) and are turned into cp932
// here, which is cheaper than letting the server convert. Server errors carry
// their SQLSTATE folded into a number (see FoldSqlState).

#include <libpq-fe.h>
#include <poll.h>

#include <algorithm>
#include <cassert>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "core/Sjis.h"
#include "core/sessions/Backends.h"
#include "core/sessions/BusyPace.h"
#include "core/sessions/ColumnField.h"
#include "core/sessions/KeptRows.h"
#include "core/sessions/ServerTypes.h"
#include "core/sessions/ServerWords.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TResultCloser {
  void operator()(PGresult* r) const { PQclear(r); }
};
using TResult = std::unique_ptr<PGresult, TResultCloser>;

constexpr unsigned kNumericOid = 1700;
constexpr int kFirstBatch = 256;
constexpr int kMaxBatch = 16384;
constexpr size_t kBatchBytes = 4 << 20;
constexpr const char* kCanceled = "57014";

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

bool HasState(const PGresult* r, const char* state) {
  const char* s = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  return s && std::strcmp(s, state) == 0;
}

// The logon's parameters, kept for connecting again.
struct TConnectParams {
  std::vector<std::string> Keys, Values;
  int TimeoutSeconds = 10;  // 0: no limit, as libpq has it
};

// A cancel request on its way. Its thread holds what it uses and is never
// joined: PQcancel waits for the server without a limit of its own.
class TCancelFlight {
 public:
  static std::shared_ptr<TCancelFlight> Send(std::shared_ptr<PGcancel> cancel) {
    auto flight = std::make_shared<TCancelFlight>();
    std::thread([cancel = std::move(cancel), flight] {
      char error[256];
      PQcancel(cancel.get(), error, sizeof error);
      flight->Finish();
    }).detach();
    return flight;
  }
  // Whether the server has taken the request, waiting at most `wait`.
  bool Landed(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_);
    return ended_.wait_for(lock, wait, [this] { return done_; });
  }

 private:
  void Finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    ended_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;  // guarded by mutex_
};

// The user's wording for a connection that was opened again.
const std::string& ReconnectedText() {
  static const std::string text =
      SJ("サーバーとの接続が切れたため再接続しました。セッションの設定は失われています。ＳＱＬは実行していません。");
  return text;
}

// The connection and what the database and its dynasets share of it. Only
// the thread that calls the database touches it; a cancel request's thread
// shares nothing but its TCancelFlight and its copy of Cancel.
struct TPgLink {
  PGconn* Conn = nullptr;
  std::shared_ptr<PGcancel> Cancel;
  // The last cancel request of this connection, until it is known to have
  // landed; nothing is sent to the server meanwhile.
  std::shared_ptr<TCancelFlight> Flight;
  TConnectParams Params;
  std::shared_ptr<TErrorMembers> Errors = std::make_shared<TErrorMembers>();
  std::shared_ptr<TDatabase::TStopState> Stop;
  const TDatabase::TBusyHandler* Busy = nullptr;  // the database's, for the statement at hand
  int Serial = 0;          // the last cursor number given out
  int ActiveCursor = 0;    // the open cursor's number, 0 when none
  bool OwnTransaction = false;
  bool UserTransaction = false;  // the user's BEGIN was open after the last statement
  bool TransactionBefore = false;  // ... and before the statement at hand
  // When the busy handler is due next. One statement of the user's may be
  // many requests and work in between; the handler keeps its pace across
  // them all.
  Clock::time_point NextBusyCall{};
  void StartWaiting() { NextBusyCall = Clock::now() + kBusyStep; }

  ~TPgLink() {
    // A cancel on its way would stop the CLOSE, and waiting for it could
    // hold the window: ending the connection ends the cursor as well.
    if (!Flight || Flight->Landed(std::chrono::milliseconds(0))) {
      try {
        Busy = nullptr;
        CloseCursor();
      } catch (const TSessionError&) {
      }
    }
    PQfinish(Conn);
  }

  static int StepMs(Clock::time_point until) {
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, 10));
  }

  // Waits for the socket until ready() holds (it is asked after each read
  // from the socket), and lets the busy handler run every kBusyStep.
  // stoppable: a stop cancels the statement; otherwise (our own short
  // statements) the handler only lets the window work. A handler that gives
  // up drops the connection once the server has had kAbandonAfter to answer.
  template <class Ready>
  void AwaitUntil(bool stoppable, Ready ready) {
    if (!PQconsumeInput(Conn) || ready()) return;
    Clock::time_point abandonAt{};
    for (;;) {
      // Without a handler there is nothing to be on time for, but the wait
      // still looks at the socket in steps rather than spinning.
      const bool handled = Busy && *Busy;
      pollfd p{PQsocket(Conn), POLLIN, 0};
      if (poll(&p, 1, handled ? StepMs(NextBusyCall) : static_cast<int>(kBusyStep.count())) < 0 && errno != EINTR)
        return;
      if (!PQconsumeInput(Conn) || ready()) return;
      if (!handled || Clock::now() < NextBusyCall) continue;
      const TBusyAnswer answer = (*Busy)();
      NextBusyCall = Clock::now() + kBusyStep;
      if (!answer.Go() && stoppable) SendCancel();
      if (answer.Abandoning() && abandonAt == Clock::time_point{}) abandonAt = Clock::now() + kAbandonAfter;
      if (abandonAt != Clock::time_point{} && Clock::now() >= abandonAt) GiveUp();
    }
  }

  // Until libpq can hand over the next result without blocking.
  void Await(bool stoppable) {
    AwaitUntil(stoppable, [this] { return !PQisBusy(Conn); });
  }

  // Reads the rows of a COPY TO STDOUT and lets them go, waiting as Await
  // does, so a stop reaches it; the server's verdict then follows as a result.
  void DrainCopy() {
    int got = 0;
    auto next = [&] {
      char* buf = nullptr;
      while ((got = PQgetCopyData(Conn, &buf, 1)) > 0) PQfreemem(buf);
      return got != 0;
    };
    while (!next()) {
      AwaitUntil(true, next);
      if (got != 0 || PQstatus(Conn) == CONNECTION_BAD) return;
    }
  }

  [[noreturn]] void GiveUp() {
    Drop();
    Errors->Fail(FoldSqlState("08006"), SJ("PostgreSQL サーバーが応答しないため、接続を切りました"));
  }

  // For work this side does while a request is out (turning a batch into
  // cells): the busy handler runs every kBusyStep as Await runs it, and a
  // stop cancels the request.
  void WhileWorking() {
    if (!Busy || !*Busy || Clock::now() < NextBusyCall) return;
    const TBusyAnswer answer = (*Busy)();
    NextBusyCall = Clock::now() + kBusyStep;
    if (!answer.Go()) SendCancel();
  }

  // One request per statement: the handler goes on answering stop.
  void SendCancel() {
    if (!Cancel || Stop->Stopped) return;
    Stop->Mark();
    try {
      Flight = TCancelFlight::Send(Cancel);
    } catch (const std::system_error&) {
      // No thread to send it on: the statement runs to its end.
    }
  }

  // Waits until the last cancel request has landed, letting the busy handler
  // run; a stop ends the wait with false when stoppable, and is let pass
  // otherwise (it came for the statement that was cancelled). Without a
  // handler, or with one that gives up, a request that has not landed after
  // kAbandonAfter gives the connection up.
  bool AwaitCancel(bool stoppable) {
    Clock::time_point abandonAt{};
    while (Flight && !Flight->Landed(std::chrono::milliseconds(StepMs(NextBusyCall)))) {
      const auto now = Clock::now();
      if (abandonAt != Clock::time_point{} && now >= abandonAt) GiveUp();
      if (!Busy || !*Busy) {
        if (abandonAt == Clock::time_point{}) abandonAt = now + kAbandonAfter;
        continue;
      }
      if (now < NextBusyCall) continue;
      const TBusyAnswer answer = (*Busy)();
      NextBusyCall = Clock::now() + kBusyStep;
      if (!answer.Go() && stoppable) return false;
      if (answer.Abandoning() && abandonAt == Clock::time_point{}) abandonAt = Clock::now() + kAbandonAfter;
    }
    Flight.reset();
    return true;
  }

  // Gives up the connection without waiting for the server.
  void Drop() {
    ActiveCursor = 0;
    OwnTransaction = false;
    UserTransaction = false;
    Cancel.reset();
    Flight.reset();  // a request on its way holds what it needs
    PQfinish(Conn);
    Conn = nullptr;
  }

  // Sends a statement and returns its last result (the first failure
  // wins), waiting as Await does.
  TResult Run(const std::string& sql, bool stoppable = false, bool oneStatement = false) {
    Send(sql, oneStatement);
    return Collect(stoppable);
  }

  void Send(const std::string& sql, bool oneStatement) {
    AwaitCancel(false);
    assert(!Flight);
    // The extended protocol takes one statement only, so a second statement
    // after a query is refused instead of being run unseen.
    const int sent = oneStatement ? PQsendQueryParams(Conn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0)
                                  : PQsendQuery(Conn, sql.c_str());
    if (!sent) Fail(nullptr);
  }

  TResult Collect(bool stoppable) {
    TResult last, error;
    for (;;) {
      Await(stoppable);
      TResult r(PQgetResult(Conn));
      if (!r) break;
      if (!Ok(r.get()) && !error) error = std::move(r);
      else last = std::move(r);
      if (PQstatus(Conn) == CONNECTION_BAD) break;
    }
    return error ? std::move(error) : std::move(last);
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
      text = Conn ? TrimMessage(PQerrorMessage(Conn)) : std::string();
      if (text.empty()) text = "unknown failure";
    }
    std::string out = Utf8ToSjis(text);
    if (const char* pos = r ? PQresultErrorField(r, PG_DIAG_STATEMENT_POSITION) : nullptr) AppendPlace(out, pos, prefix, sql);
    std::string_view code = state ? state : (!Conn || PQstatus(Conn) == CONNECTION_BAD ? "08006" : "HY000");
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

  // Opens the connection (again), waiting as Await does; a handler that
  // answers stop gives the attempt up. Throws with libpq's message.
  void Connect() {
    std::vector<const char*> keys, values;
    for (size_t i = 0; i < Params.Keys.size(); ++i) {
      keys.push_back(Params.Keys[i].c_str());
      values.push_back(Params.Values[i].c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    if (Conn) PQfinish(Conn);
    Conn = PQconnectStartParams(keys.data(), values.data(), 1);
    if (!Conn) throw TSessionError(FoldSqlState("08001"), SJ("PostgreSQL への接続を用意できません"));
    // libpq keeps its connect_timeout to its blocking calls only.
    if (PQconninfoOption* options = PQconninfo(Conn)) {
      for (PQconninfoOption* o = options; o->keyword; ++o)
        if (std::strcmp(o->keyword, "connect_timeout") == 0 && o->val) Params.TimeoutSeconds = std::atoi(o->val);
      PQconninfoFree(options);
    }
    // As libpq counts it: none or less than 1 waits for ever, 1 is 2.
    const bool limited = Params.TimeoutSeconds > 0;
    const auto deadline = Clock::now() + std::chrono::seconds(std::max(Params.TimeoutSeconds, 2));
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    auto nextCall = Clock::now() + kBusyStep;
    while (PQstatus(Conn) != CONNECTION_BAD && state != PGRES_POLLING_OK && state != PGRES_POLLING_FAILED) {
      pollfd p{PQsocket(Conn), static_cast<short>(state == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
      if (p.fd < 0 || poll(&p, 1, 10) > 0) state = PQconnectPoll(Conn);
      if (limited && Clock::now() >= deadline) throw TSessionError(FoldSqlState("08001"), SJ("PostgreSQL サーバーに接続できません: ") +
                                                                                    SJ("接続がタイムアウトしました"));
      if (Busy && *Busy && Clock::now() >= nextCall) {
        if (!(*Busy)().Go()) throw TSessionError(FoldSqlState("08001"), SJ("PostgreSQL サーバーへの接続を中止しました"));
        nextCall = Clock::now() + kBusyStep;
      }
    }
    if (PQstatus(Conn) != CONNECTION_OK) {
      std::string message = TrimMessage(PQerrorMessage(Conn));
      const bool refused = message.find("password") != std::string::npos ||
                           message.find("authentication") != std::string::npos;
      throw TSessionError(FoldSqlState(refused ? "28P01" : "08001"),
                          (refused ? SJ("PostgreSQL サーバーがログオンを拒否しました: ")
                                   : SJ("PostgreSQL サーバーに接続できません: ")) +
                              Utf8ToSjis(message));
    }
    PQsetNoticeProcessor(Conn, [](void*, const char*) {}, nullptr);  // notices are not errors
    Cancel = std::shared_ptr<PGcancel>(PQgetCancel(Conn), PQfreeCancel);
    Flight.reset();  // a request for the old connection cannot reach this one
    ActiveCursor = 0;
    OwnTransaction = UserTransaction = TransactionBefore = false;
    // Date-times in ISO form, whatever the server's default.
    TResult r = Run("SET DateStyle TO ISO");
    if (!Ok(r.get())) Fail(r.get());
  }

  // Before each statement. A connection the server has closed while we were
  // idle (it restarted), or one that was given up, is opened again; the
  // statement is not run on it, and the user is told (see the file's head).
  void EnsureConnected() {
    if (Conn && PQstatus(Conn) == CONNECTION_OK) {
      // Reads the server's farewell, if any, and the end of the connection
      // behind it.
      for (int i = 0; i < 4 && PQstatus(Conn) == CONNECTION_OK; ++i) {
        pollfd p{PQsocket(Conn), POLLIN, 0};
        if (poll(&p, 1, 0) <= 0 || !PQconsumeInput(Conn)) break;
      }
      if (PQstatus(Conn) == CONNECTION_OK) return;
    }
    const bool lostTransaction = UserTransaction;
    try {
      Connect();
    } catch (const TSessionError& e) {
      Errors->Fail(FoldSqlState("08006"), SJ("PostgreSQL サーバーとの接続が切れています: ") + e.Text);
    }
    Errors->Fail(FoldSqlState("08006"),
                 ReconnectedText() + (lostTransaction ? SJ("コミットされていない変更は失われました（サーバーがロールバックしました）。") : ""));
  }

  // Before a statement of the user's: whether their transaction is open.
  void StartStatement() {
    NoteTransaction();
    TransactionBefore = UserTransaction;
  }

  // After a statement: remembers whether the user's transaction is open.
  void NoteTransaction() {
    const PGTransactionStatusType ts = Conn ? PQtransactionStatus(Conn) : PQTRANS_UNKNOWN;
    UserTransaction = !OwnTransaction && (ts == PQTRANS_INTRANS || ts == PQTRANS_INERROR);
  }

  // What a stop did to the user's transaction: the server aborts it with
  // the statement, and a stopped COMMIT ends it without committing.
  std::string StopNote() const {
    const PGTransactionStatusType ts = Conn ? PQtransactionStatus(Conn) : PQTRANS_UNKNOWN;
    if (UserTransaction && ts == PQTRANS_INERROR)
      return SJ("サーバーは開始していたトランザクションを中断しました。ROLLBACK で終えてください。");
    if (TransactionBefore && ts == PQTRANS_IDLE)
      return SJ("停止したため、開始していたトランザクションはロールバックされました。変更は保存されていません。");
    return {};
  }

  // Ends the open cursor: our transaction is committed (a query may have
  // called functions that write), the user's is left open.
  void CloseCursor() {
    if (ActiveCursor == 0) return;
    const int cursor = ActiveCursor;
    const bool own = OwnTransaction;
    ActiveCursor = 0;
    OwnTransaction = false;
    if (!Conn || PQstatus(Conn) != CONNECTION_OK) return;
    PGTransactionStatusType ts = PQtransactionStatus(Conn);
    if (own) {
      TResult r = Run(ts == PQTRANS_INERROR ? "ROLLBACK" : "COMMIT");
      if (!Ok(r.get())) Fail(r.get());
    } else if (ts == PQTRANS_INTRANS) {
      TResult r = Run("CLOSE " + CursorName(cursor));
      if (!Ok(r.get())) Fail(r.get());
    }
    NoteTransaction();
  }

  // After a failed or stopped fetch: our transaction is rolled back so the
  // session stays usable; the user's is theirs to end, but a cursor that
  // the stop left open in it is closed.
  void AbandonCursor() noexcept {
    const bool own = OwnTransaction;
    const int cursor = ActiveCursor;
    ActiveCursor = 0;
    OwnTransaction = false;
    try {
      const PGTransactionStatusType ts = Conn && PQstatus(Conn) == CONNECTION_OK ? PQtransactionStatus(Conn) : PQTRANS_UNKNOWN;
      if (own && ts != PQTRANS_IDLE && ts != PQTRANS_UNKNOWN) Run("ROLLBACK");
      else if (!own && cursor != 0 && ts == PQTRANS_INTRANS) Run("CLOSE " + CursorName(cursor));
    } catch (const TSessionError&) {
    }
    NoteTransaction();
  }

  static std::string CursorName(int n) { return "quorrel_cursor_" + std::to_string(n); }
};

// A column as the server described it.
struct TPgColumn {
  std::string Name;  // cp932
  unsigned Oid = 0;
  TServerColumnType Type;
};

std::vector<TPgColumn> Describe(const PGresult* r) {
  std::vector<TPgColumn> columns;
  for (int i = 0; i < PQnfields(r); ++i) {
    const unsigned oid = PQftype(r, i);
    columns.push_back({Utf8ToSjis(PQfname(r, i)), oid, MapPostgresType(oid, PQfmod(r, i))});
  }
  return columns;
}

// Rows [from, to) of a result into cells: text in cp932, numbers without
// trailing zeros, dates as their cell text or as date-times.
void KeepRows(const PGresult* r, int from, int to, const std::vector<TPgColumn>& columns, TKeptRows& kept,
              std::string& buf) {
  const int n = static_cast<int>(columns.size());
  for (int row = from; row < to; ++row) {
    for (int c = 0; c < n; ++c) {
      // Only an empty value can be a NULL.
      const int len = PQgetlength(r, row, c);
      if (len == 0 && PQgetisnull(r, row, c)) {
        kept.AddNull();
        continue;
      }
      const char* text = PQgetvalue(r, row, c);
      const std::string_view raw(text, static_cast<size_t>(len));
      const TPgColumn& col = columns[static_cast<size_t>(c)];
      if (col.Type.Code == 12) {
        // A date, or a timestamp without a fraction or a zone, the common
        // cases, becomes its cell text here; any other a date-time.
        if (IsoDateCellText(raw, buf)) {
          kept.AddText(buf);
          continue;
        }
        TDateTime date;
        if (ParseIsoDateTime(raw, date)) {
          kept.AddDate(date);
          continue;
        }
      }
      if (col.Oid == kNumericOid) {
        kept.AddText(TrimNumberText(raw));
      } else if (IsAsciiText(text, len)) {
        kept.AddText(raw);  // the same bytes in cp932
      } else {
        buf.clear();
        AppendUtf8AsSjis(buf, raw);
        kept.AddText(buf);
      }
    }
    kept.EndRow();
  }
}

class TPgDynaset;

class TPgField final : public TColumnField {
 public:
  TPgField(TPgDynaset& owner, int index, const TPgColumn& column)
      : TColumnField(column.Name, column.Type), owner_(owner), index_(index) {}
  TFieldValue Value() override;

 private:
  TPgDynaset& owner_;
  int index_;
};

// The rows of a query, all in this process already, kept as cells since
// the opening.
class TPgDynaset final : public TDynaset {
 public:
  TPgDynaset(std::unique_ptr<TKeptRows> rows, const std::vector<TPgColumn>& columns, int recordCount)
      : rows_(rows ? std::move(rows) : std::make_unique<TKeptRows>(columns.size())), recordCount_(recordCount) {
    for (size_t i = 0; i < columns.size(); ++i)
      fields_.push_back(std::make_unique<TPgField>(*this, static_cast<int>(i), columns[i]));
    rows_->Seek(0);
  }

  int FieldCount() override { return static_cast<int>(fields_.size()); }
  int RecordCount() override { return recordCount_; }
  TField& Field(int index) override {
    if (index < 0 || index >= FieldCount()) throw TSessionError(0, {});
    return *fields_[static_cast<size_t>(index)];
  }
  bool Eof() override { return row_ >= rows_->Rows(); }

  void MoveNext() override {
    if (Eof()) return;
    if (++row_ < rows_->Rows()) rows_->Seek(row_);
  }

  TFieldValue Cell(int column) const { return row_ < rows_->Rows() ? rows_->Cell(static_cast<size_t>(column)) : TFieldValue{}; }

 private:
  std::unique_ptr<TKeptRows> rows_;
  long long row_ = 0;
  int recordCount_;
  std::vector<std::unique_ptr<TPgField>> fields_;
};

TFieldValue TPgField::Value() { return owner_.Cell(index_); }

// The bytes a batch's rows take, from three samples: large rows make small
// batches, so a batch stays near kBatchBytes.
int NextBatchSize(const PGresult* r, int last) {
  const int rows = PQntuples(r);
  if (rows == 0) return last;
  size_t bytes = 0;
  const int n = PQnfields(r);
  for (int row : {0, rows / 2, rows - 1})
    for (int c = 0; c < n; ++c) bytes += static_cast<size_t>(PQgetlength(r, row, c)) + 16;
  const size_t perRow = std::max<size_t>(bytes / 3, 1);
  const size_t fits = std::max<size_t>(kBatchBytes / perRow, 1);
  return static_cast<int>(std::min<size_t>({fits, static_cast<size_t>(kMaxBatch), static_cast<size_t>(last) * 4}));
}

class TPgDatabase final : public TDatabase {
 public:
  explicit TPgDatabase(std::shared_ptr<TPgLink> link) : link_(std::move(link)) {
    link_->Stop = StopState();
    link_->Busy = &BusyHandler();
  }

  int ExecuteSql(const std::string& sqlCp932) override {
    const std::string sql = Statement(sqlCp932);
    if (!Ready()) return 0;
    PGconn* conn = link_->Conn;
    // Manual commit: the statement runs in a transaction that waits for the
    // user's COMMIT. Queries open none (see CreateDynaset).
    const bool opened = !AutoCommit() && PQtransactionStatus(conn) == PQTRANS_IDLE &&
                        TransactionWord(sql) == TTransactionWord::Other;
    if (opened) {
      TResult r = link_->Run("BEGIN");
      if (!TPgLink::Ok(r.get())) link_->Fail(r.get());
    }
    link_->Send(sql, false);
    // Row by row, so a statement that returns rows is counted, not kept.
    PQsetSingleRowMode(conn);
    long long total = 0;
    TResult error;
    for (;;) {
      link_->Await(true);
      TResult r{PQgetResult(conn)};
      if (!r) break;
      switch (PQresultStatus(r.get())) {
        case PGRES_COMMAND_OK:
        case PGRES_TUPLES_OK:
          total += std::atoll(PQcmdTuples(r.get()));
          break;
        case PGRES_COPY_IN:
          PQputCopyEnd(conn, "COPY FROM STDIN is not available here");
          break;
        case PGRES_COPY_OUT:
          link_->DrainCopy();
          break;
        case PGRES_SINGLE_TUPLE:
          ++total;
          break;
        case PGRES_EMPTY_QUERY:
          break;
        default:
          if (!error) error = std::move(r);
          break;
      }
      if (PQstatus(conn) == CONNECTION_BAD) break;
    }
    // A transaction opened for a statement that failed or was stopped holds
    // nothing: the server aborted it with the statement.
    if (opened && PQstatus(conn) == CONNECTION_OK && PQtransactionStatus(conn) == PQTRANS_INERROR) link_->Run("ROLLBACK");
    link_->NoteTransaction();
    if (Stopped(error.get())) return 0;
    StopState()->Clear();  // the statement ended before the stop reached it
    if (error) link_->Fail(error.get(), 0, sql);
    if (PQstatus(conn) == CONNECTION_BAD) link_->Fail(nullptr);
    return static_cast<int>(std::min<long long>(total, INT_MAX));
  }

  std::unique_ptr<TDynaset> CreateDynaset(const std::string& sqlCp932, int /*options*/) override {
    const std::string utf8 = Statement(sqlCp932);
    const std::string_view sql = TrimStatement(utf8);
    if (!Ready()) return std::make_unique<TPgDynaset>(nullptr, std::vector<TPgColumn>{}, 0);

    const bool own = PQtransactionStatus(link_->Conn) == PQTRANS_IDLE;
    if (own) {
      TResult r = link_->Run("BEGIN");
      if (!TPgLink::Ok(r.get())) link_->Fail(r.get());
    }
    assert(link_->ActiveCursor == 0);
    const int cursor = ++link_->Serial;
    const std::string name = TPgLink::CursorName(cursor);
    const std::string declare = "DECLARE " + name + " NO SCROLL CURSOR FOR ";
    TResult declared = link_->Run(declare + std::string(sql), true, true);
    if (!TPgLink::Ok(declared.get())) {
      if (own) link_->Run("ROLLBACK");
      link_->NoteTransaction();
      if (Stopped(declared.get())) return std::make_unique<TPgDynaset>(nullptr, std::vector<TPgColumn>{}, 0);
      // Valid SQL that cannot be a cursor (SELECT … INTO) runs as it is; a
      // real syntax error is then reported against the user's own text.
      if (own && HasState(declared.get(), "42601")) return RunPlain(sql);
      link_->Fail(declared.get(), declare.size(), sql);
    }
    link_->ActiveCursor = cursor;
    link_->OwnTransaction = own;

    // The rows the engine will read, then the count of the rest. The next
    // request goes out before a batch is made into cells, so the server
    // works on it meanwhile.
    std::unique_ptr<TKeptRows> kept;
    std::vector<TPgColumn> columns;
    long long received = 0, count = 0;
    const long long wanted = std::max(RowsWanted(), 0);
    int batch = kFirstBatch;
    enum { kNothing, kFetch, kMove } out = kNothing;
    long long asked = 0;
    auto fetch = [&] {
      asked = std::min<long long>(batch, wanted - received);
      link_->Send("FETCH FORWARD " + std::to_string(asked) + " FROM " + name, false);
      out = kFetch;
    };
    if (wanted > 0) fetch();
    while (out == kFetch) {
      TResult r = link_->Collect(true);
      out = kNothing;
      if (!TPgLink::Ok(r.get())) return Abandoned(std::move(r), std::move(kept), columns, received);
      if (!kept) {
        columns = Describe(r.get());
        kept = std::make_unique<TKeptRows>(columns.size());
      }
      const int got = PQntuples(r.get());
      received += got;
      // A stop that came between two batches ends the rows here.
      const bool end = got < asked || StopState()->Stopped;
      batch = NextBatchSize(r.get(), batch);
      if (!end && received < wanted) {
        fetch();
      } else if (!end) {
        link_->Send("MOVE FORWARD ALL IN " + name, false);
        out = kMove;
      }
      Keep(r.get(), columns, *kept, out != kNothing);
    }
    count = received;
    if (out == kMove) {
      TResult moved = link_->Collect(true);
      if (!TPgLink::Ok(moved.get())) return Abandoned(std::move(moved), std::move(kept), columns, received);
      count += std::atoll(PQcmdTuples(moved.get()));
    }
    if (StopState()->Stopped) {
      StopState()->Mark(link_->StopNote());
      link_->AbandonCursor();
    }
    // Every row is here or counted: the read transaction ends now.
    link_->CloseCursor();
    return std::make_unique<TPgDynaset>(std::move(kept), columns, static_cast<int>(std::min<long long>(count, INT_MAX)));
  }

  int LastServerErr() override { return link_->Errors->LastErr(); }
  std::string LastServerErrText() override { return link_->Errors->LastText(); }
  TSqlDialect Dialect() override { return PostgresDialect(link_->Conn, words_); }

  bool InTransaction() override {
    if (!link_->Conn || PQstatus(link_->Conn) != CONNECTION_OK || link_->OwnTransaction) return false;
    const PGTransactionStatusType ts = PQtransactionStatus(link_->Conn);
    return ts == PQTRANS_INTRANS || ts == PQTRANS_INERROR;
  }

  // The server answers COMMIT of an aborted transaction by rolling it back
  // without an error; the user asked to keep the changes and must hear that
  // they are gone.
  void Commit() override {
    const bool aborted = link_->Conn && PQtransactionStatus(link_->Conn) == PQTRANS_INERROR;
    ExecuteSql("COMMIT");
    if (aborted && !TDatabase::Stopped())
      link_->Errors->Fail(FoldSqlState("25P02"), SJ("トランザクションはエラーで中断されていたため、ロールバックされました。"
                                                    "変更は保存されていません。"));
  }

 private:
  std::string Statement(const std::string& sqlCp932) {
    StopState()->Clear();
    link_->StartWaiting();
    return ServerStatement(sqlCp932, *link_->Errors, FoldSqlState("42601"));
  }

  // The connection made sure of and the last cancel landed; false when a
  // stop came first (the statement is then not run).
  bool Ready() {
    link_->EnsureConnected();
    link_->StartStatement();
    if (!link_->AwaitCancel(true)) {
      StopState()->Mark();
      return false;
    }
    link_->CloseCursor();
    return true;
  }

  // Whether a statement ended because it was stopped: the server then says
  // it cancelled it. A stop that came too late leaves the statement as it
  // ended. The note tells what became of the user's transaction.
  bool Stopped(const PGresult* r) {
    if (!StopState()->Stopped) return false;
    if (!HasState(r, kCanceled)) return false;
    StopState()->Mark(link_->StopNote());
    return true;
  }

  // A batch into cells. requestOut: the next request is on its way, so the
  // handler runs meanwhile and a stop cancels that request.
  void Keep(const PGresult* r, const std::vector<TPgColumn>& columns, TKeptRows& kept, bool requestOut) {
    constexpr int kSlice = 1024;
    const int rows = PQntuples(r);
    for (int from = 0; from < rows; from += kSlice) {
      KeepRows(r, from, std::min(rows, from + kSlice), columns, kept, buf_);
      if (requestOut) link_->WhileWorking();
    }
  }

  // A fetch that failed or was stopped: the cursor goes; a stop keeps the
  // rows that came before it, a failure is reported.
  std::unique_ptr<TDynaset> Abandoned(TResult r, std::unique_ptr<TKeptRows> kept,
                                      const std::vector<TPgColumn>& columns, long long received) {
    const bool stopped = StopState()->Stopped && HasState(r.get(), kCanceled);
    link_->AbandonCursor();
    if (!stopped) {
      StopState()->Clear();
      link_->Fail(r.get());
    }
    StopState()->Mark(link_->StopNote());
    return std::make_unique<TPgDynaset>(std::move(kept), columns,
                                        static_cast<int>(std::min<long long>(received, INT_MAX)));
  }

  std::unique_ptr<TDynaset> RunPlain(std::string_view sql) {
    TResult r = link_->Run(std::string(sql), true, true);
    link_->NoteTransaction();
    if (Stopped(r.get())) return std::make_unique<TPgDynaset>(nullptr, std::vector<TPgColumn>{}, 0);
    if (!TPgLink::Ok(r.get())) link_->Fail(r.get(), 0, sql);
    const long long count = PQresultStatus(r.get()) == PGRES_TUPLES_OK ? PQntuples(r.get()) : std::atoll(PQcmdTuples(r.get()));
    const std::vector<TPgColumn> columns = Describe(r.get());
    auto kept = std::make_unique<TKeptRows>(columns.size());
    Keep(r.get(), columns, *kept, false);
    return std::make_unique<TPgDynaset>(std::move(kept), columns, static_cast<int>(std::min<long long>(count, INT_MAX)));
  }

  std::string buf_;  // a converted text, while it is kept
  std::shared_ptr<TPgLink> link_;
  TServerWords words_;
};

}  // namespace

std::unique_ptr<TDatabase> OpenPostgresDatabase(const std::string& conninfo, const std::string& user,
                                                const std::string& password, const TDatabase::TBusyHandler& busy) {
  // Later keywords override what the host string says: the dialog's user and
  // password when given, and always UTF-8. A timeout the host string sets wins.
  auto link = std::make_shared<TPgLink>();
  TConnectParams& p = link->Params;
  p.Keys = {"connect_timeout", "fallback_application_name", "dbname"};
  p.Values = {"10", "Quorrel", conninfo};
  if (!user.empty()) {
    p.Keys.push_back("user");
    p.Values.push_back(user);
  }
  if (!password.empty()) {
    p.Keys.push_back("password");
    p.Values.push_back(password);
  }
  p.Keys.push_back("client_encoding");
  p.Values.push_back("UTF8");
  link->Busy = &busy;
  link->Stop = std::make_shared<TDatabase::TStopState>();
  link->Connect();
  return std::make_unique<TPgDatabase>(std::move(link));
}

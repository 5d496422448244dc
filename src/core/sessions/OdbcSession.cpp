// ODBC through unixODBC: Oracle and every other server with a driver.
//
// Texts cross the driver manager as UTF-16 (the wide API) and come back into
// cp932 here. A driver with wide entry points gets them as they are. For a
// driver without them (the SQLite driver is one) unixODBC converts between
// UTF-16 and narrow text with the codeset of the locale in force when the
// connection handle is made, and keeps that choice for the connection's
// life; in the C locale (a program started from a service, or one that never
// set its locale) every character is cut to its low byte. So the connection
// is made and opened under a UTF-8 codeset for this thread only: narrow
// drivers then always see UTF-8, wide drivers are not affected, and neither
// the process's locale nor anything a driver does to it later changes the
// text. The connection string is the exception: unixODBC cuts its characters
// to the low byte on the way to a narrow driver whatever the locale, so a
// string with non-ASCII text (a Japanese file name, a password) goes to such
// a driver through the narrow call as UTF-8. Wide drivers need the wide call
// (psqlodbc otherwise takes its text encoding from the environment's locale).
//
// A query's opening reads the rows the engine will show and keeps them
// here, in cp932, then counts the rest by fetching them without converting a
// value; the statement is closed before the dynaset is handed over. So a
// query runs once, the count is that of the rows shown, memory follows the
// row limit, and only one statement is ever open (some drivers allow no
// second one while a result is pending). psqlODBC would bring every counted
// row over the network into its own buffers, so past the row limit the
// server counts the rest as SELECT COUNT(*) over the query (where it refuses
// that form, the query runs again and its rows are counted as they come). A
// query that fails after some rows shows them, then the failure, with the
// server's count where it will give one.
//
// Drivers known to give text as UTF-8 through SQL_C_CHAR are asked for it:
// their own conversion to UTF-16 costs more than the rest of a fetch.
// MariaDB's Connector/ODBC gives the connection's character set, which is
// set to utf8mb4 unless the user's settings name one. psqlODBC gives the
// codeset of the thread's locale, so its rows are read under a UTF-8 one.
//
// psqlODBC left to itself reads a whole result into memory before it hands
// over the first row: memory then grows with the query, however many of
// its rows are counted only, instead of with the row limit. Unless the user's settings say otherwise it is told to fetch through a
// cursor, a few hundred rows at a time. Its row count of a SELECT is then no
// longer the rows of the result, so a statement run for its count has the
// rows of its results counted as they are read.

#include <sql.h>
#include <sqlext.h>

#include <dlfcn.h>
#include <locale.h>
#include <odbcinst.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/Sjis.h"
#include "core/sessions/Backends.h"
#include "core/sessions/KeptRows.h"
#include "core/sessions/OdbcCatalog.h"
#include "core/sessions/OdbcText.h"
#include "core/sessions/ServerTypes.h"

namespace {

// The length of a text the driver manager wrote into a buffer of room
// characters and told as told. From a narrow driver it tells the narrow
// text's bytes, more than the characters it wrote; the terminating zero ends
// the text then.
size_t WrittenLength(const SQLWCHAR* w, SQLLEN told, size_t room) {
  const size_t n = std::min(static_cast<size_t>(std::max<SQLLEN>(told, 0)), room);
  return static_cast<size_t>(std::find(w, w + n, SQLWCHAR(0)) - w);
}

bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

struct TDiag {
  int Number = 0;  // the native error, else the folded SQLSTATE
  std::string State;
  std::string Text;  // cp932, one line per diagnostic record
};

TDiag ReadDiag(SQLSMALLINT type, SQLHANDLE handle) {
  TDiag d;
  for (SQLSMALLINT rec = 1; rec <= 8; ++rec) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLWCHAR message[2048];
    SQLSMALLINT len = 0;
    SQLRETURN rc = SQLGetDiagRecW(type, handle, rec, state, &native, message, 2048, &len);
    if (!Succeeded(rc)) break;
    std::string st;
    AppendWideAsSjis(st, state, 5);
    if (rec == 1) {
      d.State = st;
      d.Number = native != 0 ? static_cast<int>(native) : FoldSqlState(st);
    }
    if (!d.Text.empty()) d.Text += "\n";
    AppendWideAsSjis(d.Text, message, WrittenLength(message, len, 2047));
  }
  while (!d.Text.empty() && (d.Text.back() == '\n' || d.Text.back() == ' ')) d.Text.pop_back();
  if (d.Number == 0) d.Number = FoldSqlState("HY000");
  if (d.Text.empty()) d.Text = SJ("ODBC ドライバーがエラーを返しました (") + std::to_string(d.Number) + ")";
  return d;
}

// This thread's codeset is UTF-8 while it lives; the rest of the thread's
// locale and every other thread keep theirs. Without a UTF-8 locale on the
// machine nothing changes.
class TUtf8Codeset {
 public:
  TUtf8Codeset() {
    for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
      locale_t base = duplocale(LC_GLOBAL_LOCALE);
      if (base == locale_t(0)) return;
      utf8_ = newlocale(LC_CTYPE_MASK, name, base);
      if (utf8_ != locale_t(0)) break;
      freelocale(base);
    }
    if (utf8_ != locale_t(0)) previous_ = uselocale(utf8_);
  }
  ~TUtf8Codeset() {
    if (utf8_ == locale_t(0)) return;
    uselocale(previous_);
    freelocale(utf8_);
  }
  TUtf8Codeset(const TUtf8Codeset&) = delete;
  TUtf8Codeset& operator=(const TUtf8Codeset&) = delete;

 private:
  locale_t utf8_ = locale_t(0), previous_ = locale_t(0);
};

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

bool IsPsqlOdbc(const std::string& library) {
  return library.compare(library.rfind('/') + 1, 8, "psqlodbc") == 0;
}

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

// Set once a connection has been given up while its driver still works on
// a call (only when the program ends): from then on no handle is freed,
// since the driver may still be using it.
std::atomic<bool> gAbandoned{false};

struct THandle {
  SQLSMALLINT Type = 0;
  SQLHANDLE Handle = SQL_NULL_HANDLE;
  THandle() = default;
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;
  ~THandle() {
    if (Handle != SQL_NULL_HANDLE && !gAbandoned) SQLFreeHandle(Type, Handle);
  }
};
using THandlePtr = std::shared_ptr<THandle>;

// The thread a connection's driver calls run on while a busy handler is
// set, one call at a time: this thread waits for it and runs the handler
// every 10 ms meanwhile. A job owns what the driver may touch (it may
// outlive its caller when the connection is given up), so it captures
// shared data only.
class TOdbcWorker {
 public:
  TOdbcWorker() : state_(std::make_shared<TState>()) {
    thread_ = std::thread([state = state_] {
      std::unique_lock lock(state->Mutex);
      for (;;) {
        state->Wake.wait(lock, [&] { return state->Job || state->Quit; });
        if (state->Quit) return;
        std::function<void()> job = std::move(state->Job);
        state->Job = nullptr;
        lock.unlock();
        std::exception_ptr error;
        try {
          job();
        } catch (...) {
          error = std::current_exception();
        }
        job = nullptr;
        lock.lock();
        state->Error = error;
        state->Done = true;
        state->Finished.notify_all();
      }
    });
  }
  ~TOdbcWorker() {
    {
      std::lock_guard lock(state_->Mutex);
      state_->Quit = true;
    }
    state_->Wake.notify_all();
    if (thread_.joinable()) thread_.join();
  }
  TOdbcWorker(const TOdbcWorker&) = delete;
  TOdbcWorker& operator=(const TOdbcWorker&) = delete;

  // Runs job there. busy is called every kBusyStep while it runs; the first
  // stop answer calls cancel (on this thread, as ODBC allows). A handler
  // that gives up leaves the job to finish alone after kAbandonAfter:
  // Abandon() is then thrown.
  struct TAbandoned {};
  void Run(std::function<void()> job, const TDatabase::TBusyHandler& busy, const std::function<void()>& cancel) {
    {
      std::lock_guard lock(state_->Mutex);
      state_->Job = std::move(job);
      state_->Done = false;
    }
    state_->Wake.notify_all();
    auto next = Clock::now() + kBusyStep;
    bool cancelled = false;
    Clock::time_point abandonAt{};
    std::unique_lock lock(state_->Mutex);
    while (!state_->Finished.wait_until(lock, next, [&] { return state_->Done; })) {
      lock.unlock();
      const TBusyAnswer answer = busy();
      next = Clock::now() + kBusyStep;
      if (!answer.Go() && !cancelled) {
        cancelled = true;
        cancel();
      }
      if (answer.Abandoning() && abandonAt == Clock::time_point{}) abandonAt = Clock::now() + kAbandonAfter;
      if (abandonAt != Clock::time_point{} && Clock::now() >= abandonAt) {
        gAbandoned = true;
        {
          std::lock_guard quit(state_->Mutex);
          state_->Quit = true;
        }
        thread_.detach();
        throw TAbandoned{};
      }
      lock.lock();
    }
    std::exception_ptr error = state_->Error;
    state_->Error = nullptr;
    lock.unlock();
    if (error) std::rethrow_exception(error);
  }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kBusyStep{10};
  static constexpr std::chrono::seconds kAbandonAfter{1};
  struct TState {
    std::mutex Mutex;
    std::condition_variable Wake, Finished;
    std::function<void()> Job;
    bool Done = false, Quit = false;
    std::exception_ptr Error;
  };
  std::shared_ptr<TState> state_;
  std::thread thread_;
};

// The connection and what the database and its dynasets share of it.
struct TOdbcLink {
  THandle Env, Dbc;
  bool Connected = false;
  std::shared_ptr<TErrorMembers> Errors = std::make_shared<TErrorMembers>();
  std::shared_ptr<TDatabase::TStopState> Stop = std::make_shared<TDatabase::TStopState>();
  const TDatabase::TBusyHandler* Busy = nullptr;  // the database's, for the statement at hand
  bool CountByFetch = false;  // the driver's row count of a result is not its rows
  bool NarrowText = false;    // the driver gives text as UTF-8 through SQL_C_CHAR
  // Rows past the limit are counted by the server, not fetched: the driver
  // would bring each of them over.
  bool CountRestOnServer = false;
  // Set when a stop is asked for: a job that loops over rows looks at it
  // between two of them, where SQLCancel reaches no driver call.
  std::shared_ptr<std::atomic<bool>> Cancel = std::make_shared<std::atomic<bool>>(false);
  TOdbcWorker Worker;

  ~TOdbcLink() {
    if (Connected && !gAbandoned) SQLDisconnect(Dbc.Handle);
  }

  // Runs a job of driver calls: on the worker while a busy handler is set,
  // so the window works meanwhile and a stop cancels stmt (if any); else
  // here. After a stop the job's failure is the stop's, and Call returns
  // false; true when the job ran to its end.
  bool Call(const std::function<void()>& job, const THandlePtr& stmt = {}) {
    Cancel->store(false);
    if (!Busy || !*Busy) {
      job();
      return true;
    }
    try {
      Worker.Run(job, *Busy, [this, stmt] {
        Stop->Mark();
        Cancel->store(true);
        if (stmt && stmt->Handle != SQL_NULL_HANDLE) SQLCancel(stmt->Handle);
      });
    } catch (const TSessionError&) {
      if (Stop->Stopped && stmt) return false;
      throw;
    } catch (const TOdbcWorker::TAbandoned&) {
      Errors->Fail(FoldSqlState("08S01"), SJ("ODBC ドライバーが応答しないため、接続を放棄しました"));
    }
    return true;
  }

  [[noreturn]] void Fail(SQLSMALLINT type, SQLHANDLE handle) {
    TDiag d = ReadDiag(type, handle);
    Errors->Fail(d.Number, d.Text);
  }

  THandlePtr NewStatement() {
    auto stmt = std::make_shared<THandle>();
    stmt->Type = SQL_HANDLE_STMT;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, Dbc.Handle, &stmt->Handle))) {
      stmt->Handle = SQL_NULL_HANDLE;
      Fail(SQL_HANDLE_DBC, Dbc.Handle);
    }
    return stmt;
  }

  void Close(const THandlePtr& stmt) {
    if (stmt->Handle != SQL_NULL_HANDLE && !gAbandoned) SQLFreeStmt(stmt->Handle, SQL_CLOSE);
  }
};

struct TOdbcCell {
  TValueKind Kind = TValueKind::Null;
  std::string Text;  // as read from the driver
  TDateTime Date = 0;
};

class TOdbcDynaset;

class TOdbcField final : public TField {
 public:
  TOdbcField(const TOdbcDynaset& owner, size_t index, std::string name, TServerColumnType type)
      : owner_(owner), index_(index), name_(std::move(name)), type_(type) {}

  std::string Name() override { return name_; }
  int OraMaxSize() override { return type_.Size; }
  int OraPrecision() override { return type_.Precision; }
  int OraScale() override { return type_.Scale; }
  int OraIDataType() override { return type_.Code; }
  TFieldValue Value() override;

 private:
  const TOdbcDynaset& owner_;
  size_t index_;
  std::string name_;
  TServerColumnType type_;
};

// A column fetched in blocks: the driver writes a block's values side by
// side, Width bytes each, with their lengths in bytes in Ind.
struct TBoundColumn {
  size_t Cell = 0;  // the column's index
  size_t Width = 0;
  std::vector<char> Buf;
  std::vector<SQLLEN> Ind;
};

// What a fetch writes: the current row's cells and the buffers the driver
// fills. Shared with the fetch jobs (see TOdbcWorker).
struct TOdbcRows {
  std::vector<TOdbcCell> Cells;
  std::vector<int> Codes;  // each column's type code
  // Text comes as UTF-8 (SQL_C_CHAR) where the driver is known to give it
  // so, else as UTF-16.
  bool Narrow = false;
  TWide Text;        // a wide value, reused for every cell
  std::string Utf8;  // a narrow value, or the way from Text to cp932
  std::string DateText;  // a date's cell text, on its way into a cell
  bool Eof = false;
  // Fetching in blocks: the rows of the block, the next one to read, and
  // whether a value too long for its buffer can be read again whole.
  std::vector<TBoundColumn> Bound;
  SQLULEN Fetched = 0, Next = 0;
  bool Reread = false;
};

bool IsShown(int code) { return code == 1 || code == 2 || code == 12 || code == 96; }

// The cell's text from what the driver wrote into Text or Utf8: a number
// without the zeros that trail its fraction, a date-time text as a
// date-time.
void SetCellText(TOdbcRows& rows, size_t i) {
  TOdbcCell& cell = rows.Cells[i];
  cell.Kind = TValueKind::Text;
  if (rows.Narrow)
    AppendUtf8AsSjis(cell.Text, rows.Utf8);
  else
    AppendWideAsSjis(cell.Text, rows.Text.data(), rows.Text.size(), rows.Utf8);
  if (rows.Codes[i] == 2) {
    const std::string_view trimmed = TrimNumberText(cell.Text);
    if (trimmed.data() == cell.Text.data())
      cell.Text.resize(trimmed.size());
    else
      cell.Text.assign(trimmed);  // "0", not a part of the text
    return;
  }
  // Drivers give date-times as text in the ODBC form "yyyy-mm-dd
  // hh:mm:ss[.f]": the plain form becomes its cell text at once, any other
  // a date-time; a value that is no date (SQLite allows them) stays text.
  if (rows.Codes[i] != 12) return;
  if (IsoDateCellText(cell.Text, rows.DateText))
    cell.Text.swap(rows.DateText);
  else if (ParseIsoDateTime(cell.Text, cell.Date))
    cell.Kind = TValueKind::DateTime;
}

// Reads a column of the current row with SQLGetData, in parts of any length.
// False for NULL.
template <class TChar>
bool GetParts(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, std::basic_string<TChar>& text,
              const std::function<void()>& fail) {
  TChar buf[2048];
  text.clear();
  for (;;) {
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(stmt, column, cType, buf, sizeof buf, &ind);
    if (rc == SQL_NO_DATA) break;
    if (!Succeeded(rc)) fail();
    if (ind == SQL_NULL_DATA) return false;
    const size_t room = sizeof buf / sizeof buf[0] - 1;
    // A part that did not fit fills the buffer; otherwise the length is
    // told, or (from a careless driver) only the terminating zero.
    const bool more = rc == SQL_SUCCESS_WITH_INFO &&
                      (ind == SQL_NO_TOTAL || static_cast<size_t>(ind) / sizeof(TChar) > room);
    size_t got = room;
    if (!more && ind >= 0) got = std::min(static_cast<size_t>(ind) / sizeof(TChar), room);
    // The zero after the text is always written; a length that stops short
    // of it is the driver's miscount (MariaDB's wide length is one short for
    // a text holding U+FA11), and the text runs to the zero.
    if (!more && ind >= 0 && buf[got] != 0) got = std::find(buf + got, buf + room, TChar(0)) - buf;
    if (!more && ind < 0) got = std::find(buf, buf + room, TChar(0)) - buf;
    text.append(buf, got);
    if (!more) break;
  }
  return true;
}

bool GetText(SQLHSTMT stmt, SQLUSMALLINT column, TOdbcRows& rows, const std::function<void()>& fail) {
  if (rows.Narrow) return GetParts(stmt, column, SQL_C_CHAR, rows.Utf8, fail);
  return GetParts(stmt, column, SQL_C_WCHAR, rows.Text, fail);
}

// Reads the next row of stmt into rows (or ends the rows).
void FetchRowInto(SQLHSTMT stmt, TOdbcRows& rows, TErrorMembers& errors) {
  const std::function<void()> fail = [&] {
    rows.Eof = true;
    TDiag d = ReadDiag(SQL_HANDLE_STMT, stmt);
    errors.Fail(d.Number, d.Text);
  };
  if (!rows.Bound.empty()) {
    if (rows.Next >= rows.Fetched) {
      rows.Fetched = rows.Next = 0;
      SQLRETURN rc = SQLFetch(stmt);
      if (rc == SQL_NO_DATA || (Succeeded(rc) && rows.Fetched == 0)) {
        rows.Eof = true;
        return;
      }
      if (!Succeeded(rc)) fail();
    }
    const SQLULEN row = rows.Next++;
    const size_t unit = rows.Narrow ? 1 : sizeof(SQLWCHAR);
    for (TBoundColumn& b : rows.Bound) {
      TOdbcCell& cell = rows.Cells[b.Cell];
      cell.Kind = TValueKind::Null;
      cell.Text.clear();
      const SQLLEN ind = b.Ind[row];
      if (ind == SQL_NULL_DATA) continue;
      const char* value = b.Buf.data() + row * b.Width;
      const size_t units = b.Width / unit;
      if (ind == SQL_NO_TOTAL || ind < 0 || static_cast<size_t>(ind) / unit >= units) {
        // Longer than the column said: read it again whole, never cut.
        if (!rows.Reread || !Succeeded(SQLSetPos(stmt, static_cast<SQLSETPOSIROW>(row + 1), SQL_POSITION,
                                                 SQL_LOCK_NO_CHANGE)))
          errors.Fail(FoldSqlState("01004"), SJ("ODBC ドライバーが列の長さを超える値を返したため、読めません"));
        if (!GetText(stmt, static_cast<SQLUSMALLINT>(b.Cell + 1), rows, fail)) continue;
      } else if (rows.Narrow) {
        size_t got = static_cast<size_t>(ind);
        if (value[got] != 0) got = std::find(value + got, value + b.Width - 1, char(0)) - value;  // as GetText
        rows.Utf8.assign(value, got);
      } else {
        const SQLWCHAR* wide = reinterpret_cast<const SQLWCHAR*>(value);
        size_t got = static_cast<size_t>(ind) / sizeof(SQLWCHAR);
        if (wide[got] != 0) got = std::find(wide + got, wide + units - 1, SQLWCHAR(0)) - wide;  // as GetText
        rows.Text.assign(wide, got);
      }
      SetCellText(rows, b.Cell);
    }
    return;
  }
  SQLRETURN rc = SQLFetch(stmt);
  if (rc == SQL_NO_DATA) {
    rows.Eof = true;
    return;
  }
  if (!Succeeded(rc)) fail();
  // Columns are read in order (not every driver allows another order);
  // those the engine never shows are not fetched at all.
  for (size_t i = 0; i < rows.Cells.size(); ++i) {
    TOdbcCell& cell = rows.Cells[i];
    cell.Kind = TValueKind::Null;
    cell.Text.clear();
    if (!IsShown(rows.Codes[i])) continue;
    if (GetText(stmt, static_cast<SQLUSMALLINT>(i + 1), rows, fail)) SetCellText(rows, i);
  }
}

// Binds the shown columns for fetching in blocks, when every one of them
// has a size that fits a buffer and the driver can read a value again
// within a block (so a value longer than its column said is never cut).
// Otherwise the rows come one at a time through SQLGetData, as any driver
// allows.
void BindForBlocks(SQLHDBC dbc, SQLHSTMT stmt, TOdbcRows& rows, const std::vector<SQLULEN>& sizes) {
  SQLUINTEGER extensions = 0;
  if (!Succeeded(SQLGetInfo(dbc, SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr)) ||
      (extensions & SQL_GD_BLOCK) == 0 || (extensions & SQL_GD_BOUND) == 0)
    return;
  // Room in characters; a UTF-8 character takes up to four bytes, a UTF-16
  // one up to two units.
  const size_t unit = rows.Narrow ? 1 : sizeof(SQLWCHAR);
  std::vector<TBoundColumn> bound;
  size_t rowBytes = 0;
  for (size_t i = 0; i < rows.Codes.size(); ++i) {
    const int code = rows.Codes[i];
    if (!IsShown(code)) continue;
    size_t width;
    if (code == 2)
      width = std::max<size_t>(sizes[i] + 4, 40) * unit;
    else if (code == 12)
      width = 40 * unit;
    else if (sizes[i] == 0 || sizes[i] > 4000)
      return;  // a long text: SQLGetData in parts
    else
      width = rows.Narrow ? sizes[i] * 4 + 1 : (sizes[i] * 2 + 1) * sizeof(SQLWCHAR);
    TBoundColumn b;
    b.Cell = i;
    b.Width = width;
    rowBytes += width + sizeof(SQLLEN);
    bound.push_back(std::move(b));
  }
  if (bound.empty()) return;
  SQLULEN block = std::clamp<SQLULEN>((256 << 10) / rowBytes, 1, 512);
  if (!Succeeded(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0)) ||
      !Succeeded(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(block), 0)))
    return;
  SQLULEN granted = 0;
  if (!Succeeded(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &granted, 0, nullptr)) || granted == 0) granted = 1;
  block = granted;
  const SQLSMALLINT cType = rows.Narrow ? SQL_C_CHAR : SQL_C_WCHAR;
  for (TBoundColumn& b : bound) {
    b.Buf.resize(b.Width * block);
    b.Ind.resize(block);
    if (!Succeeded(SQLBindCol(stmt, static_cast<SQLUSMALLINT>(b.Cell + 1), cType, b.Buf.data(),
                              static_cast<SQLLEN>(b.Width), b.Ind.data()))) {
      SQLFreeStmt(stmt, SQL_UNBIND);
      SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
      return;
    }
  }
  rows.Bound = std::move(bound);
  SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &rows.Fetched, 0);
  rows.Reread = true;
}

// What reading a query at its opening came to.
struct TReadOutcome {
  std::unique_ptr<TKeptRows> Kept;
  long long Counted = 0;  // rows past the kept ones
  bool More = false;      // there are rows past the kept ones, not counted
  bool Failed = false;
  TDiag Error;
};

// Reads up to wanted rows of stmt into out.Kept, then counts the rest
// without converting them (no columns bound, in blocks where the driver
// allows), or with countRest false only tells in out.More whether there are
// any. A failure is kept in out, to be told after the rows before it; a
// stop asked for ends the reading between two rows.
void ReadAndCount(SQLHSTMT stmt, TOdbcRows& rows, TReadOutcome& out, long long wanted, bool countRest,
                  const std::atomic<bool>& stop, const std::shared_ptr<TErrorMembers>& errors) {
  TKeptRows& kept = *out.Kept;
  // A fetch that failed is kept in out, to be told later.
  auto failed = [&](SQLRETURN rc) {
    if (Succeeded(rc)) return false;
    out.Failed = true;
    out.Error = ReadDiag(SQL_HANDLE_STMT, stmt);
    return true;
  };
  try {
    while (kept.Rows() < wanted && !stop.load(std::memory_order_relaxed)) {
      FetchRowInto(stmt, rows, *errors);
      if (rows.Eof) return;
      for (const TOdbcCell& cell : rows.Cells) {
        if (cell.Kind == TValueKind::DateTime)
          kept.AddDate(cell.Date);  // read once
        else if (cell.Kind == TValueKind::Text)
          kept.AddText(cell.Text);
        else
          kept.AddNull();
      }
      kept.EndRow();
    }
  } catch (const TSessionError&) {
    out.Failed = true;
    out.Error.Number = errors->LastErr();
    out.Error.Text = errors->LastText();
    return;
  }
  if (stop.load(std::memory_order_relaxed)) return;
  if (!rows.Bound.empty()) out.Counted = static_cast<long long>(rows.Fetched - rows.Next);
  SQLFreeStmt(stmt, SQL_UNBIND);
  if (!countRest) {
    out.Counted = 0;
    if (rows.Bound.empty() || rows.Next >= rows.Fetched) {
      const SQLRETURN rc = SQLFetch(stmt);
      if (rc == SQL_NO_DATA || failed(rc)) return;
    }
    out.More = true;
    return;
  }
  SQLULEN fetched = 0;
  const bool told = Succeeded(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
  // The driver must not keep writing here once this function has returned.
  struct TForget {
    SQLHSTMT Stmt;
    ~TForget() { SQLSetStmtAttr(Stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0); }
  } forget{stmt};
  SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1024), 0);
  while (!stop.load(std::memory_order_relaxed)) {
    fetched = 0;
    const SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) break;
    if (failed(rc)) return;
    out.Counted += told ? static_cast<long long>(fetched) : 1;
  }
}

class TOdbcDynaset final : public TDynaset {
 public:
  explicit TOdbcDynaset(std::shared_ptr<TErrorMembers> errors) : errors_(std::move(errors)) {}

  // Describes the columns of stmt's result and binds them for reading.
  void Describe(SQLHDBC dbc, SQLHSTMT stmt, bool narrow) {
    rows_->Narrow = narrow;
    SQLSMALLINT n = 0;
    if (!Succeeded(SQLNumResultCols(stmt, &n))) Fail(stmt);
    rows_->Cells.resize(static_cast<size_t>(std::max<SQLSMALLINT>(n, 0)));
    std::vector<SQLULEN> sizes;
    for (SQLSMALLINT i = 1; i <= n; ++i) {
      SQLWCHAR name[512];
      SQLSMALLINT nameLen = 0, sqlType = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      if (!Succeeded(SQLDescribeColW(stmt, static_cast<SQLUSMALLINT>(i), name, 512, &nameLen, &sqlType, &size,
                                     &digits, &nullable)))
        Fail(stmt);
      std::string cp932;
      AppendWideAsSjis(cp932, name, WrittenLength(name, nameLen, 511));
      SQLWCHAR typeName[128];
      SQLSMALLINT typeLen = 0;
      std::string declared;
      if (Succeeded(SQLColAttributeW(stmt, static_cast<SQLUSMALLINT>(i), SQL_DESC_TYPE_NAME, typeName,
                                     sizeof typeName, &typeLen, nullptr)))
        AppendWideAsSjis(declared, typeName, WrittenLength(typeName, typeLen / SQLSMALLINT(sizeof(SQLWCHAR)), 127));
      fields_.push_back(std::make_unique<TOdbcField>(*this, static_cast<size_t>(i - 1), std::move(cp932),
                                                     MapOdbcType(sqlType, size, digits, declared)));
      rows_->Codes.push_back(fields_.back()->OraIDataType());
      sizes.push_back(size);
    }
    if (n > 0) BindForBlocks(dbc, stmt, *rows_, sizes);
  }

  const std::shared_ptr<TOdbcRows>& Rows() const { return rows_; }
  bool HasColumns() const { return !fields_.empty(); }

  // The rows read at the opening, the full count, and the failure to tell
  // after the last of them, if any. Steps onto the first row.
  void Open(std::unique_ptr<TKeptRows> kept, long long count, std::optional<TDiag> failure) {
    rows_->Bound.clear();  // the driver writes no more
    rows_->Eof = false;
    kept_ = std::move(kept);
    recordCount_ = static_cast<int>(std::min<long long>(count, INT_MAX));
    failure_ = std::move(failure);
    Step();
  }

  // A query stopped before its rows: no columns, no rows.
  void OpenStopped() { rows_->Eof = true; }

  int FieldCount() override { return static_cast<int>(fields_.size()); }
  int RecordCount() override { return recordCount_; }
  TField& Field(int index) override {
    if (index < 0 || index >= FieldCount()) throw TSessionError(0, {});
    return *fields_[static_cast<size_t>(index)];
  }
  bool Eof() override { return rows_->Eof; }
  void MoveNext() override {
    if (!rows_->Eof) Step();
  }

  // A cell of the current row, read where it is kept.
  TFieldValue Cell(size_t column) const { return !rows_->Eof && kept_ ? kept_->Cell(column) : TFieldValue{}; }

 private:
  [[noreturn]] void Fail(SQLHSTMT stmt) {
    rows_->Eof = true;
    TDiag d = ReadDiag(SQL_HANDLE_STMT, stmt);
    errors_->Fail(d.Number, d.Text);
  }

  void Step() {
    if (kept_ && next_ < kept_->Rows()) {
      kept_->Seek(next_++);
      return;
    }
    rows_->Eof = true;
    kept_.reset();
    if (failure_) {
      const TDiag d = std::move(*failure_);
      failure_.reset();
      errors_->Fail(d.Number, d.Text);
    }
  }

  std::shared_ptr<TErrorMembers> errors_;
  std::unique_ptr<TKeptRows> kept_;
  long long next_ = 0;
  int recordCount_ = 0;
  std::optional<TDiag> failure_;
  std::shared_ptr<TOdbcRows> rows_ = std::make_shared<TOdbcRows>();
  std::vector<std::unique_ptr<TOdbcField>> fields_;
};

TFieldValue TOdbcField::Value() { return owner_.Cell(index_); }

class TOdbcDatabase final : public TDatabase {
 public:
  explicit TOdbcDatabase(std::shared_ptr<TOdbcLink> link) : link_(std::move(link)) {
    link_->Stop = StopState();
    link_->Busy = &BusyHandler();
  }

  int ExecuteSql(const std::string& sqlCp932) override {
    const std::string sql = Statement(sqlCp932);
    auto stmt = link_->NewStatement();
    auto wide = std::make_shared<TWide>(Utf8ToWide(sql));
    auto total = std::make_shared<long long>(0);
    const bool countByFetch = link_->CountByFetch;
    const bool ran = link_->Call([stmt, wide, total, countByFetch, errors = link_->Errors] {
      SQLRETURN rc = SQLExecDirectW(stmt->Handle, wide->data(), SQL_NTS);
      auto fail = [&] {
        TDiag d = ReadDiag(SQL_HANDLE_STMT, stmt->Handle);
        errors->Fail(d.Number, d.Text);
      };
      // Every result of a batch counts; the first failure ends it.
      while (rc != SQL_NO_DATA) {
        if (!Succeeded(rc)) fail();
        SQLSMALLINT columns = 0;
        if (countByFetch && Succeeded(SQLNumResultCols(stmt->Handle, &columns)) && columns > 0) {
          SQLRETURN fetched;
          while (Succeeded(fetched = SQLFetch(stmt->Handle))) ++*total;
          if (fetched != SQL_NO_DATA) fail();
        } else {
          SQLLEN rows = -1;
          if (Succeeded(SQLRowCount(stmt->Handle, &rows)) && rows > 0) *total += rows;
        }
        rc = SQLMoreResults(stmt->Handle);
      }
    }, stmt);
    if (!ran) return 0;
    // The statement ended before the stop reached it.
    StopState()->Clear();
    return static_cast<int>(std::min<long long>(*total, INT_MAX));
  }

  std::unique_ptr<TDynaset> CreateDynaset(const std::string& sqlCp932, int /*options*/) override {
    const std::string utf8 = Statement(sqlCp932);
    const std::string sql(TrimStatement(utf8));
    auto wide = std::make_shared<TWide>(Utf8ToWide(sql));
    auto stmt = link_->NewStatement();
    auto dynaset = std::make_unique<TOdbcDynaset>(link_->Errors);
    auto stopped = [&] {
      link_->Close(stmt);
      auto empty = std::make_unique<TOdbcDynaset>(link_->Errors);
      empty->OpenStopped();
      return empty;
    };
    // The query runs once: the rows the engine will read are read now and
    // kept, the rest only counted, so the count is that of the very rows
    // shown and the server does the work of the query once.
    if (!link_->Call([stmt, wide, errors = link_->Errors] { Execute(stmt->Handle, *wide, *errors); }, stmt) ||
        StopState()->Stopped)
      return stopped();
    try {
      dynaset->Describe(link_->Dbc.Handle, stmt->Handle, link_->NarrowText);
    } catch (const TSessionError&) {
      link_->Close(stmt);
      throw;
    }
    auto outcome = std::make_shared<TReadOutcome>();
    outcome->Kept = std::make_unique<TKeptRows>(static_cast<size_t>(dynaset->FieldCount()));
    if (dynaset->HasColumns()) {
      const long long wanted = std::max(RowsWanted(), 0);
      const bool countRest = !link_->CountRestOnServer;
      link_->Call([stmt, rows = dynaset->Rows(), outcome, wanted, countRest, cancel = link_->Cancel,
                   errors = link_->Errors] {
        TUtf8Codeset codeset;
        ReadAndCount(stmt->Handle, *rows, *outcome, wanted, countRest, *cancel, errors);
      }, stmt);
    }
    link_->Close(stmt);
    long long count = outcome->Kept->Rows() + outcome->Counted;
    if (outcome->More && !outcome->Failed && !StopState()->Stopped) count = CountPastTheLimit(sql, *wide, *outcome);
    std::optional<TDiag> failure;
    if (StopState()->Stopped) {
      // The rows end where the stop found them.
      count = outcome->Kept->Rows();
    } else if (outcome->Failed) {
      // A query that fails at its first row fails to open; one that fails
      // later shows the rows before the failure, then the failure. Its count
      // is then the server's, where the server will give it.
      const long long kept = outcome->Kept->Rows();
      if (kept == 0) link_->Errors->Fail(outcome->Error.Number, outcome->Error.Text);
      const long long onServer = CountedByServer(sql);
      if (StopState()->Stopped) {
        count = kept;
      } else {
        if (kept < std::max(RowsWanted(), 0))
          failure = outcome->Error;
        else if (onServer < 0)  // the rows shown are whole, but not their count
          link_->Errors->Fail(outcome->Error.Number, outcome->Error.Text);
        count = onServer >= 0 ? onServer : kept;
      }
    }
    dynaset->Open(std::move(outcome->Kept), count, std::move(failure));
    return dynaset;
  }

  int LastServerErr() override { return link_->Errors->LastErr(); }
  std::string LastServerErrText() override { return link_->Errors->LastText(); }

 private:
  std::string Statement(const std::string& sqlCp932) {
    StopState()->Clear();
    return ServerStatement(sqlCp932, *link_->Errors, FoldSqlState("42000"));
  }

  // The full count of a query whose rows go on past the kept ones, where the
  // driver moves every row it counts across the network and through its own
  // buffers: the server counts them, or where it will not count the query,
  // the query runs again and its rows are counted as they come.
  long long CountPastTheLimit(const std::string& sql, const TWide& wide, const TReadOutcome& read) {
    const long long kept = read.Kept->Rows();
    const long long onServer = CountedByServer(sql);
    if (StopState()->Stopped) return kept;
    if (onServer >= 0) return std::max(onServer, kept);
    auto again = link_->NewStatement();
    auto query = std::make_shared<TWide>(wide);
    auto outcome = std::make_shared<TReadOutcome>();
    outcome->Kept = std::make_unique<TKeptRows>(0);
    const bool ran = link_->Call([again, query, outcome, cancel = link_->Cancel, errors = link_->Errors] {
      Execute(again->Handle, *query, *errors);
      TOdbcRows rows;
      ReadAndCount(again->Handle, rows, *outcome, 0, true, *cancel, errors);
    }, again);
    link_->Close(again);
    if (!ran || StopState()->Stopped) return kept;
    // The rows shown are whole, but not their count.
    if (outcome->Failed) link_->Errors->Fail(outcome->Error.Number, outcome->Error.Text);
    return std::max(outcome->Counted, kept);
  }

  static void Execute(SQLHSTMT stmt, const TWide& sql, TErrorMembers& errors) {
    const SQLRETURN rc = SQLExecDirectW(stmt, const_cast<SQLWCHAR*>(sql.data()), SQL_NTS);
    if (!Succeeded(rc) && rc != SQL_NO_DATA) {
      const TDiag d = ReadDiag(SQL_HANDLE_STMT, stmt);
      errors.Fail(d.Number, d.Text);
    }
  }

  // SELECT COUNT(*) over the query on a statement of its own, or -1 where
  // the server will not count it or a stop ended the count.
  long long CountedByServer(const std::string& sql) {
    auto counter = link_->NewStatement();
    auto count = std::make_shared<long long>(-1);
    const bool ran = link_->Call([counter, count, sql] { *count = CountOnServer(counter->Handle, sql); }, counter);
    link_->Close(counter);
    return ran ? *count : -1;
  }

  // The row count as the server gives it, or -1 where the query cannot be
  // wrapped (the query itself then reports any real error).
  static long long CountOnServer(SQLHSTMT stmt, const std::string& sql) {
    TWide wrapped = Utf8ToWide("SELECT COUNT(*) FROM (" + sql + "\n) q");
    if (!Succeeded(SQLExecDirectW(stmt, wrapped.data(), SQL_NTS))) return -1;
    SQLBIGINT n = -1;
    SQLLEN ind = 0;
    if (!Succeeded(SQLFetch(stmt)) || !Succeeded(SQLGetData(stmt, 1, SQL_C_SBIGINT, &n, sizeof n, &ind)) ||
        ind == SQL_NULL_DATA)
      return -1;
    return n;
  }

  std::shared_ptr<TOdbcLink> link_;

 public:
  bool NativeCatalog(TCatalog& catalog) override {
    OdbcReadCatalog(link_->Dbc.Handle, catalog);
    return true;
  }
  bool NativeColumns(const TCatalogTable& table, std::vector<TCatalogColumn>& columns) override {
    OdbcReadColumns(link_->Dbc.Handle, table, columns);
    return true;
  }
};

}  // namespace

std::unique_ptr<TDatabase> OpenOdbcDatabase(const std::string& connection, const std::string& user,
                                            const std::string& password, const TDatabase::TBusyHandler& busy) {
  auto link = std::make_shared<TOdbcLink>();
  link->Busy = &busy;
  // On the worker when the window is to work meanwhile: a server that does
  // not answer keeps the driver waiting up to its login timeout.
  link->Call([link = link.get(), connection, user, password] {
    link->Env.Type = SQL_HANDLE_ENV;
    link->Dbc.Type = SQL_HANDLE_DBC;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &link->Env.Handle))) {
      link->Env.Handle = SQL_NULL_HANDLE;
      throw TSessionError(FoldSqlState("IM004"), SJ("ODBC ドライバーマネージャーを使えません"));
    }
    SQLSetEnvAttr(link->Env.Handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    // The connection's conversions are chosen when its handle is made, by
    // the thread that makes it.
    TUtf8Codeset codeset;
    if (!Succeeded(SQLAllocHandle(SQL_HANDLE_DBC, link->Env.Handle, &link->Dbc.Handle))) {
      link->Dbc.Handle = SQL_NULL_HANDLE;
      TDiag d = ReadDiag(SQL_HANDLE_ENV, link->Env.Handle);
      throw TSessionError(d.Number, d.Text);
    }
    SQLSetConnectAttr(link->Dbc.Handle, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
    std::string text = OdbcConnectionString(connection, user, password);
    const std::string library = DriverLibrary(text);
    if (IsPsqlOdbc(library)) {
      AskForCursorFetch(text);
      link->CountByFetch = true;
      link->NarrowText = true;
      link->CountRestOnServer = true;
    } else if (IsMariaDbOdbc(library) && !DriverSets(text, "CHARSET", "CHARSET")) {
      // Text as the server sends it: Connector/ODBC's own way to UTF-16
      // costs more than all the rest of a fetch.
      text += ";CHARSET=utf8mb4";
      link->NarrowText = true;
    }
    SQLSMALLINT outLen = 0;
    SQLRETURN rc;
    if (!IsAscii(text) && !HasWideEntryPoints(library)) {
      SQLCHAR out[1024];
      rc = SQLDriverConnect(link->Dbc.Handle, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, out, 1024,
                            &outLen, SQL_DRIVER_NOPROMPT);
    } else {
      TWide wide = Utf8ToWide(text);
      SQLWCHAR out[1024];
      rc = SQLDriverConnectW(link->Dbc.Handle, nullptr, wide.data(), SQL_NTS, out, 1024, &outLen,
                             SQL_DRIVER_NOPROMPT);
    }
    if (!Succeeded(rc)) {
      TDiag d = ReadDiag(SQL_HANDLE_DBC, link->Dbc.Handle);
      const std::string utf8 = SjisToUtf8(d.Text);
      std::string lead;
      if (d.State == "IM002")
        lead = SJ("ODBC データソースが見つかりません: ");
      else if (d.State.rfind("28", 0) == 0 || utf8.find("password") != std::string::npos ||
               utf8.find("authentication") != std::string::npos)
        lead = SJ("ODBC データソースがログオンを拒否しました: ");
      else
        lead = SJ("ODBC データソースに接続できません: ");
      throw TSessionError(d.Number, lead + d.Text);
    }
    link->Connected = true;
  });
  return std::make_unique<TOdbcDatabase>(std::move(link));
}

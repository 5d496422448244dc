#include "core/sessions/OdbcHandles.h"

#include <sqlext.h>

#include <algorithm>
#include <system_error>
#include <thread>

#include "core/Sjis.h"
#include "core/sessions/OdbcText.h"
#include "core/sessions/ServerTypes.h"

size_t WrittenLength(const SQLWCHAR* w, SQLLEN told, size_t room) {
  const size_t n = std::min(static_cast<size_t>(std::max<SQLLEN>(told, 0)), room);
  return static_cast<size_t>(std::find(w, w + n, SQLWCHAR(0)) - w);
}

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

TUtf8Codeset::TUtf8Codeset() {
  for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
    locale_t base = duplocale(LC_GLOBAL_LOCALE);
    if (base == locale_t(0)) return;
    utf8_ = newlocale(LC_CTYPE_MASK, name, base);
    if (utf8_ != locale_t(0)) break;
    freelocale(base);
  }
  if (utf8_ != locale_t(0)) previous_ = uselocale(utf8_);
}

TUtf8Codeset::~TUtf8Codeset() {
  if (utf8_ == locale_t(0)) return;
  uselocale(previous_);
  freelocale(utf8_);
}

TOdbcConnection::~TOdbcConnection() {
  if (Connected) SQLDisconnect(Dbc);
  if (Dbc != SQL_NULL_HANDLE) SQLFreeHandle(SQL_HANDLE_DBC, Dbc);
  if (Env != SQL_NULL_HANDLE) SQLFreeHandle(SQL_HANDLE_ENV, Env);
}

TOdbcStatement::TOdbcStatement(std::shared_ptr<TOdbcConnection> connection) : Connection(std::move(connection)) {
  if (!Succeeded(SQLAllocHandle(SQL_HANDLE_STMT, Connection->Dbc, &Handle))) Handle = SQL_NULL_HANDLE;
}

TOdbcStatement::~TOdbcStatement() {
  if (Handle != SQL_NULL_HANDLE) SQLFreeHandle(SQL_HANDLE_STMT, Handle);
}

void TOdbcCancel::Reset() {
  asked_.store(false);
  job_.fetch_add(1);
}

void TOdbcCancel::Ask() {
  asked_.store(true);
  if (inFlight_.exchange(true)) return;
  const unsigned job = job_.load();
  try {
    std::thread([self = shared_from_this(), job] {
      self->Send(job);
      self->inFlight_.store(false);
    }).detach();
  } catch (const std::system_error&) {
    // No thread to send it on: the job still stops at its next look at
    // Asked.
    inFlight_.store(false);
  }
}

void TOdbcCancel::Send(unsigned job) {
  std::lock_guard lock(mutex_);
  // A scope of a later job is entered only after Reset has counted it, so
  // a statement seen here with the count unchanged is the asking job's.
  if (job_.load() == job && stmt_ != SQL_NULL_HANDLE) SQLCancel(stmt_);
}

TOdbcCancel::TScope::TScope(TOdbcCancel& cancel, SQLHSTMT stmt) : cancel_(cancel) {
  std::lock_guard lock(cancel_.mutex_);
  previous_ = cancel_.stmt_;
  cancel_.stmt_ = stmt;
}

TOdbcCancel::TScope::~TScope() {
  std::lock_guard lock(cancel_.mutex_);
  cancel_.stmt_ = previous_;
}

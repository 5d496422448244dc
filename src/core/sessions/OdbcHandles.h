#pragma once
// The driver's handles of one ODBC connection, its diagnostics, and what a
// stop reaches. Every driver call runs on the connection's worker (see
// OdbcWorker.h), except SQLCancel, which ODBC allows from any thread
// (TOdbcCancel sends it).

#include <sql.h>

#include <locale.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

inline bool Succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// The length of a text the driver manager wrote into a buffer of room
// characters and told as told. From a narrow driver it tells the narrow
// text's bytes, more than the characters it wrote; the terminating zero ends
// the text then.
size_t WrittenLength(const SQLWCHAR* w, SQLLEN told, size_t room);

struct TDiag {
  int Number = 0;  // the native error, else the folded SQLSTATE
  std::string State;
  std::string Text;  // cp932, one line per diagnostic record
};

// The diagnostics of handle; never empty (a driver that tells nothing gets a
// text of ours).
TDiag ReadDiag(SQLSMALLINT type, SQLHANDLE handle);

// This thread's codeset is UTF-8 while it lives; the rest of the thread's
// locale and every other thread keep theirs. Without a UTF-8 locale on the
// machine nothing changes.
class TUtf8Codeset {
 public:
  TUtf8Codeset();
  ~TUtf8Codeset();
  TUtf8Codeset(const TUtf8Codeset&) = delete;
  TUtf8Codeset& operator=(const TUtf8Codeset&) = delete;

 private:
  locale_t utf8_ = locale_t(0), previous_ = locale_t(0);
};

// The environment and connection handles. Whoever lets go last disconnects
// and frees them: the database, or a job that a give-up left to finish alone
// on its worker, once the driver has returned from it. So a handle is never
// freed while the driver works on it, and a give-up concerns one connection.
struct TOdbcConnection {
  TOdbcConnection() = default;
  ~TOdbcConnection();
  TOdbcConnection(const TOdbcConnection&) = delete;
  TOdbcConnection& operator=(const TOdbcConnection&) = delete;

  SQLHENV Env = SQL_NULL_HANDLE;
  SQLHDBC Dbc = SQL_NULL_HANDLE;
  bool Connected = false;
};

// A statement handle of a connection, which it keeps alive. Handle is null
// when the driver would not make one (Allocated() is then false, and the
// connection's diagnostics say why).
struct TOdbcStatement {
  explicit TOdbcStatement(std::shared_ptr<TOdbcConnection> connection);
  ~TOdbcStatement();
  TOdbcStatement(const TOdbcStatement&) = delete;
  TOdbcStatement& operator=(const TOdbcStatement&) = delete;
  bool Allocated() const { return Handle != SQL_NULL_HANDLE; }

  std::shared_ptr<TOdbcConnection> Connection;
  SQLHSTMT Handle = SQL_NULL_HANDLE;
};

// What a stop reaches while a job runs: the statement the job works on, and
// a flag that a job looks at between two driver calls, where SQLCancel
// reaches nothing. SQLCancel may wait on the server (psqlODBC opens a
// connection to send it), so it is sent from a thread of its own, never from
// the waiting thread; it holds what it uses and is never joined.
class TOdbcCancel : public std::enable_shared_from_this<TOdbcCancel> {
 public:
  // Before each job, on the waiting thread.
  void Reset();
  // From the waiting thread, while the job runs: marks the stop and sends
  // SQLCancel to the job's statement, unless one is still on its way. A
  // cancel that arrives after its job has ended reaches nothing.
  void Ask();
  bool Asked() const { return asked_.load(std::memory_order_relaxed); }

  // On the worker: the statement a stop cancels while the scope lives. The
  // statement must outlive the scope.
  class TScope {
   public:
    TScope(TOdbcCancel& cancel, SQLHSTMT stmt);
    ~TScope();
    TScope(const TScope&) = delete;
    TScope& operator=(const TScope&) = delete;

   private:
    TOdbcCancel& cancel_;
    SQLHSTMT previous_;
  };

 private:
  // On the cancel's thread: cancels the statement of job `job`, if it runs.
  void Send(unsigned job);

  std::mutex mutex_;
  // guarded by mutex_, held through SQLCancel: a scope ends only after the
  // cancel sent to its statement has returned.
  SQLHSTMT stmt_ = SQL_NULL_HANDLE;
  std::atomic<unsigned> job_{0};  // counts Reset: which job a cancel is for
  std::atomic<bool> asked_{false};
  std::atomic<bool> inFlight_{false};  // a cancel's thread has not returned
};

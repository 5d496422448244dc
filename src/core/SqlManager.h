#pragma once
// TSqlManager owns the database session and runs statements against it. It
// never talks to the user: every operation returns true or false and, on
// false, leaves ErrCode/ErrText (0/"" no error; -1/"その他エラー" a failure
// the server did not report; otherwise the server's number and text).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/Session.h"
#include "core/SqlInfo.h"
#include "core/SqlScript.h"

class TSqlManager {
 public:
  using TSessionFactory = std::function<std::unique_ptr<TSession>()>;

  // factory makes the session object (the real router, or a fake in tests);
  // it may throw or return nullptr, which CreateSession reports as false.
  explicit TSqlManager(TSessionFactory factory);
  ~TSqlManager();
  TSqlManager(const TSqlManager&) = delete;
  TSqlManager& operator=(const TSqlManager&) = delete;

  // The result set filled by the engine; not owned. Set right after creation.
  TSqlInfo* SqlInfo = nullptr;
  // The row limit, read at every FetchRow (default 1000).
  std::function<int()> MaxRow = [] { return 1000; };
  // Given to the session and the database for the logons and statements
  // from now on (see TDatabase::SetBusyHandler): the run driver lets the
  // window work while the database does, and ends the statement when the
  // user stops it.
  TDatabase::TBusyHandler WhileBusy;

  int ErrCode = 0;
  std::string ErrText;  // cp932

  bool CreateSession();
  bool Logon(const std::string& user, const std::string& password, const std::string& host);
  bool ExecSql(const std::string& statement);
  bool OpenQuery(const std::string& statement);
  bool FetchRow();
  // Ends the open query, if any, whether its rows were read to the end or
  // not: the backend lets go of its statement, cursor and read transaction,
  // so a query holds no lock once its run is over. The result set keeps
  // everything it has; a transaction the user began stays open.
  void CloseQuery();
  // Whether the busy handler stopped the last statement: a statement that
  // is not a query was then undone (RowCount stays 0), a query's rows ended
  // where they stood. StopNote says what the stop did to a transaction of
  // the user's (cp932), or is empty.
  bool Stopped() const;
  std::string StopNote() const;

  // The commit mode of the open database and of every later logon. False
  // with the error when the database refused the switch (the mode is then
  // unchanged).
  bool SetAutoCommit(bool on);
  bool AutoCommit() const { return autoCommit_; }
  // Whether a transaction of the user's is open (see TDatabase).
  bool InTransaction();
  // Ends it, as a run of its own: the result set is cleared and timed, and
  // a stop or failure is read as after ExecSql.
  bool Commit() { return EndTransaction(true); }
  bool Rollback() { return EndTransaction(false); }

  // The open database, nullptr before a logon; for reading its catalogue
  // between runs.
  TDatabase* Database() { return database_.get(); }

  void BlankRemarks(TStrings& lines) const { ::BlankRemarks(lines); }
  bool IsQuery(const TStrings& lines) const { return ::IsQuery(lines); }

 private:
  template <class Source>
  void Capture(Source* source);
  void ResetError();
  bool EndTransaction(bool commit);

  TSessionFactory factory_;
  std::unique_ptr<TSession> session_;
  std::unique_ptr<TDatabase> database_;
  std::unique_ptr<TDynaset> dynaset_;
  std::vector<TField*> fields_;
  bool autoCommit_ = true;
  std::string dateText_;  // kept between rows: a DATE cell then costs no allocation
};

#pragma once
// What each backend offers the session router. Every argument is UTF-8.
// The openers throw TSessionError when the database cannot be opened; the
// returned database reports later failures through its LastServerErr members.

#include <memory>
#include <string>

#include "core/Session.h"

// A missing file at path starts as a copy of templ when one is given.
std::unique_ptr<TDatabase> OpenSqliteDatabase(const std::string& path, const std::string& templ = {});
// busy: called while the server is waited for (see TSession::SetBusyHandler).
std::unique_ptr<TDatabase> OpenPostgresDatabase(const std::string& conninfo, const std::string& user,
                                                const std::string& password,
                                                const TDatabase::TBusyHandler& busy = {});
std::unique_ptr<TDatabase> OpenOdbcDatabase(const std::string& connection, const std::string& user,
                                            const std::string& password,
                                            const TDatabase::TBusyHandler& busy = {});

// The last-error members that every backend database keeps.
class TErrorMembers {
 public:
  int LastErr() const { return err_; }
  const std::string& LastText() const { return text_; }
  void ClearError() {
    err_ = 0;
    text_.clear();
  }
  // Records the error and throws it. text is cp932.
  [[noreturn]] void Fail(int err, std::string text) {
    err_ = err;
    text_ = text;
    throw TSessionError(err, std::move(text));
  }

 private:
  int err_ = 0;
  std::string text_;
};

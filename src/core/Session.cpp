#include "core/Session.h"

#include "core/Sjis.h"
#include "core/sessions/Backends.h"

#include <algorithm>
#include <cctype>

void SplitConnect(std::string_view connect, std::string& user, std::string& password) {
  size_t slash = connect.find('/');
  if (slash == std::string_view::npos) {
    user = std::string(connect);
    password.clear();
  } else {
    user = std::string(connect.substr(0, slash));
    password = std::string(connect.substr(slash + 1));
  }
}

namespace {

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && StartsWithNoCase(s.substr(s.size() - suffix.size()), suffix);
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

// libpq's key=value form: a word of letters and underscores directly followed by "=".
bool LooksLikeConninfo(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && (std::isalpha(static_cast<unsigned char>(s[i])) || s[i] == '_')) ++i;
  while (i < s.size() && s[i] == ' ') ++i;
  return i > 0 && i < s.size() && s[i] == '=';
}

class TRoutingSession final : public TSession {
 public:
  TRoutingSession(std::string defaultDatabase, std::string databaseTemplate)
      : default_(std::move(defaultDatabase)), template_(std::move(databaseTemplate)) {}

  std::unique_ptr<TDatabase> OpenDatabase(const std::string& host, const std::string& connect,
                                          int /*options*/) override {
    errors_.ClearError();
    std::string user, password;
    SplitConnect(connect, user, password);
    TRoute route = RouteHost(SjisToUtf8(host), default_);
    try {
      std::unique_ptr<TDatabase> db;
      switch (route.Backend) {
        case TBackend::Sqlite:
          db = OpenSqliteDatabase(route.Target, route.Target == default_ ? template_ : std::string());
          break;
        case TBackend::Postgres:
          db = OpenPostgresDatabase(route.Target, SjisToUtf8(user), SjisToUtf8(password), BusyHandler());
          break;
        case TBackend::Odbc:
          db = OpenOdbcDatabase(route.Target, SjisToUtf8(user), SjisToUtf8(password), BusyHandler());
          break;
      }
      if (db) {
        db->SetBackend(route.Backend);
        return db;
      }
    } catch (const TSessionError& e) {
      errors_.Fail(e.ServerErr, e.Text);
    }
    errors_.Fail(0, {});
  }

  int LastServerErr() override { return errors_.LastErr(); }
  std::string LastServerErrText() override { return errors_.LastText(); }

 private:
  std::string default_, template_;
  TErrorMembers errors_;
};

}  // namespace

TRoute RouteHost(std::string_view hostIn, const std::string& defaultDatabase) {
  std::string_view host = Trim(hostIn);
  if (host.empty()) return {TBackend::Sqlite, defaultDatabase};
  // Explicit forms first: a connection string may well end in ".db".
  if (StartsWithNoCase(host, "sqlite:")) return {TBackend::Sqlite, std::string(host.substr(7))};
  if (StartsWithNoCase(host, "odbc:")) return {TBackend::Odbc, std::string(host.substr(5))};
  if (StartsWithNoCase(host, "postgresql://") || StartsWithNoCase(host, "postgres://") ||
      LooksLikeConninfo(host))
    return {TBackend::Postgres, std::string(host)};
  if (host == ":memory:") return {TBackend::Sqlite, std::string(host)};
  for (std::string_view ext : {".db", ".sqlite", ".sqlite3", ".db3"})
    if (EndsWithNoCase(host, ext)) return {TBackend::Sqlite, std::string(host)};
  return {TBackend::Odbc, "DSN=" + std::string(host)};
}

std::unique_ptr<TSession> CreateSession(const std::string& defaultDatabase, const std::string& databaseTemplate) {
  return std::make_unique<TRoutingSession>(defaultDatabase, databaseTemplate);
}

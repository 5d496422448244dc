// ODBC through unixODBC (being built).
#include "core/Sjis.h"
#include "core/sessions/Backends.h"

std::unique_ptr<TDatabase> OpenOdbcDatabase(const std::string&, const std::string&, const std::string&) {
  throw TSessionError(-1, SJ("ODBC への接続はまだ使えません"));
}

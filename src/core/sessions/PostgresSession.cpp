// PostgreSQL through libpq (being built).
#include "core/Sjis.h"
#include "core/sessions/Backends.h"

std::unique_ptr<TDatabase> OpenPostgresDatabase(const std::string&, const std::string&, const std::string&) {
  throw TSessionError(-1, SJ("PostgreSQL への接続はまだ使えません"));
}

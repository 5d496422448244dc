#pragma once
// Each backend's way to learn its server's quoting rules (TDatabase::Dialect).
// What does not change while connected (the keywords, the fold, the quote
// character) is read once and kept in TServerWords; whether a backslash
// escapes is asked every time, as a statement of the user's may change it.
// None of these fail: a server that does not answer leaves the safe side
// (the SQL-92 words; backslashes doubled for MySQL and MariaDB).

#include <libpq-fe.h>
#include <sql.h>

#include "core/SqlDialect.h"

struct TServerWords {
  bool Read = false;
  TSqlDialect Kept;
  enum class TFamily { Other, MySql, Postgres } Family = TFamily::Other;
};

// SQLite's own keywords; names fold nowhere.
TSqlDialect SqliteDialect();
// The keywords that cannot stand as a name everywhere (all of
// pg_get_keywords() but the unreserved ones), read while the connection is
// outside a transaction, so a failure there costs the user nothing; and
// standard_conforming_strings as the server last reported it.
TSqlDialect PostgresDialect(PGconn* conn, TServerWords& words);
// The driver's SQL_KEYWORDS with the SQL-92 words, its identifier case and
// quote character; for MySQL and MariaDB the session's sql_mode, for
// PostgreSQL its standard_conforming_strings. The connection must have no
// statement with a pending result.
TSqlDialect OdbcDialect(SQLHDBC dbc, TServerWords& words);

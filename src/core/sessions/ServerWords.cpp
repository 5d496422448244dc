#include "core/sessions/ServerWords.h"

#include <sqlext.h>
#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/StrUtil.h"
#include "core/sessions/OdbcText.h"

namespace {

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// A text of SQLGetInfo, cp932; empty when the driver has none.
std::string InfoText(SQLHDBC dbc, SQLUSMALLINT what) {
  TWide buffer(1024, 0);
  SQLSMALLINT bytes = 0;
  for (int tries = 0; tries < 2; ++tries) {
    if (!Ok(SQLGetInfoW(dbc, what, buffer.data(), static_cast<SQLSMALLINT>(buffer.size() * sizeof(SQLWCHAR)), &bytes)) ||
        bytes < 0)
      return {};
    const size_t chars = static_cast<size_t>(bytes) / sizeof(SQLWCHAR);
    if (chars < buffer.size()) {
      std::string out;
      AppendWideAsSjis(out, buffer.data(), chars);
      return out;
    }
    buffer.assign(std::min<size_t>(chars + 1, 16383), 0);
  }
  return {};
}

// The integer that a one-row query gives, or -1.
long long Scalar(SQLHDBC dbc, const char* sql) {
  SQLHSTMT stmt = SQL_NULL_HANDLE;
  if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) return -1;
  TWide wide = Utf8ToWide(sql);
  SQLBIGINT n = -1;
  SQLLEN ind = 0;
  if (!Ok(SQLExecDirectW(stmt, wide.data(), SQL_NTS)) || !Ok(SQLFetch(stmt)) ||
      !Ok(SQLGetData(stmt, 1, SQL_C_SBIGINT, &n, sizeof n, &ind)) || ind == SQL_NULL_DATA)
    n = -1;
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return n;
}

std::vector<std::string> SplitCommas(const std::string& list) {
  std::vector<std::string> words;
  size_t from = 0;
  while (from <= list.size()) {
    size_t comma = list.find(',', from);
    if (comma == std::string::npos) comma = list.size();
    std::string word = list.substr(from, comma - from);
    std::erase(word, ' ');
    words.push_back(std::move(word));
    from = comma + 1;
  }
  return words;
}

}  // namespace

TSqlDialect SqliteDialect() {
  static const auto words = [] {
    std::vector<std::string> list;
    for (int i = 0, n = sqlite3_keyword_count(); i < n; ++i) {
      const char* name = nullptr;
      int len = 0;
      if (sqlite3_keyword_name(i, &name, &len) == SQLITE_OK) list.emplace_back(name, static_cast<size_t>(len));
    }
    return TSqlDialect::WordList(std::move(list));
  }();
  TSqlDialect dialect;
  dialect.Keywords = words;
  return dialect;
}

TSqlDialect PostgresDialect(PGconn* conn, TServerWords& words) {
  const bool up = conn && PQstatus(conn) == CONNECTION_OK;
  if (!words.Read && up && PQtransactionStatus(conn) == PQTRANS_IDLE) {
    PGresult* r = PQexec(conn, "SELECT word FROM pg_catalog.pg_get_keywords() WHERE catcode <> 'U'");
    if (PQresultStatus(r) == PGRES_TUPLES_OK) {
      std::vector<std::string> list;
      for (int i = 0, n = PQntuples(r); i < n; ++i) list.emplace_back(PQgetvalue(r, i, 0));
      words.Kept.Keywords = TSqlDialect::WordList(std::move(list));
      words.Read = true;
    }
    PQclear(r);
  }
  TSqlDialect dialect = words.Read ? words.Kept : TSqlDialect{};
  dialect.Fold = TNameFold::Lower;
  const char* conforming = up ? PQparameterStatus(conn, "standard_conforming_strings") : nullptr;
  dialect.BackslashEscapes = conforming && std::string_view(conforming) == "off";
  return dialect;
}

TSqlDialect OdbcDialect(SQLHDBC dbc, TServerWords& words) {
  using TFamily = TServerWords::TFamily;
  if (!words.Read) {
    words.Read = true;
    TSqlDialect& kept = words.Kept;
    SQLUSMALLINT fold = 0;
    if (!Ok(SQLGetInfoW(dbc, SQL_IDENTIFIER_CASE, &fold, sizeof fold, nullptr)))
      kept.Fold = TNameFold::Upper;
    else
      kept.Fold = fold == SQL_IC_UPPER ? TNameFold::Upper : fold == SQL_IC_LOWER ? TNameFold::Lower : TNameFold::None;
    // A blank means the driver quotes no names; the standard's quote is then
    // as good as any.
    const std::string quote = InfoText(dbc, SQL_IDENTIFIER_QUOTE_CHAR);
    if (quote.size() == 1 && quote != " ") kept.Quote = quote[0];
    kept.Keywords = TSqlDialect::WithStandardWords(SplitCommas(InfoText(dbc, SQL_KEYWORDS)));
    const std::string dbms = UpperSjis(InfoText(dbc, SQL_DBMS_NAME));
    if (dbms.find("MYSQL") != std::string::npos || dbms.find("MARIADB") != std::string::npos)
      words.Family = TFamily::MySql;
    else if (dbms.find("POSTGRES") != std::string::npos)
      words.Family = TFamily::Postgres;
  }
  TSqlDialect dialect = words.Kept;
  if (words.Family == TFamily::MySql) {
    // Unknown counts as escaping: doubled backslashes then only miss rows.
    dialect.BackslashEscapes = Scalar(dbc, "SELECT INSTR(@@SESSION.sql_mode, 'NO_BACKSLASH_ESCAPES') > 0") != 1;
  } else if (words.Family == TFamily::Postgres) {
    dialect.BackslashEscapes =
        Scalar(dbc, "SELECT CASE WHEN current_setting('standard_conforming_strings') = 'off' THEN 1 ELSE 0 END") == 1;
  }
  return dialect;
}

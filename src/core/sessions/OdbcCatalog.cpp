#include "core/sessions/OdbcCatalog.h"

#include <sqlext.h>

#include <algorithm>

#include <cstdint>
#include <string>

#include "core/Session.h"
#include "core/Sjis.h"
#include "core/sessions/OdbcText.h"
#include "core/sessions/ServerTypes.h"

namespace {


bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

TWide SjisToWide(const std::string& sjis) { return Utf8ToWide(SjisToUtf8(sjis)); }

std::string WideToSjis(const SQLWCHAR* w, size_t n) {
  std::string out;
  AppendWideAsSjis(out, w, n);
  return out;
}

[[noreturn]] void Fail(SQLSMALLINT type, SQLHANDLE handle) {
  SQLWCHAR state[6] = {}, message[1024] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  if (!Ok(SQLGetDiagRecW(type, handle, 1, state, &native, message, 1024, &len)))
    throw TSessionError(FoldSqlState("HY000"), SJ("ODBC ドライバーが表の一覧を返しませんでした"));
  const std::string st = WideToSjis(state, 5);
  throw TSessionError(native != 0 ? static_cast<int>(native) : FoldSqlState(st),
                      WideToSjis(message, static_cast<size_t>(std::clamp<SQLSMALLINT>(len, 0, 1023))));
}

// Column col of the current row as text; null reads as empty.
std::string Text(SQLHSTMT stmt, SQLUSMALLINT col, bool* isNull = nullptr) {
  TWide value;
  SQLWCHAR buffer[512];
  for (;;) {
    SQLLEN ind = 0;
    const SQLRETURN rc = SQLGetData(stmt, col, SQL_C_WCHAR, buffer, sizeof buffer, &ind);
    if (rc == SQL_NO_DATA) break;
    if (!Ok(rc)) Fail(SQL_HANDLE_STMT, stmt);
    if (ind == SQL_NULL_DATA) {
      if (isNull) *isNull = true;
      return {};
    }
    const size_t room = sizeof buffer / sizeof buffer[0] - 1;
    const size_t got = ind == SQL_NO_TOTAL || static_cast<size_t>(ind) / sizeof(SQLWCHAR) > room
                           ? room
                           : static_cast<size_t>(ind) / sizeof(SQLWCHAR);
    value.append(buffer, got);
    if (rc == SQL_SUCCESS) break;
  }
  if (isNull) *isNull = false;
  return WideToSjis(value.data(), value.size());
}

// An argument of a catalogue call: null for "any", else the text.
struct TArg {
  TWide Text;
  bool Null = true;
  SQLWCHAR* Data() { return Null ? nullptr : Text.data(); }
  SQLSMALLINT Length() const { return Null ? 0 : static_cast<SQLSMALLINT>(Text.size()); }
};

TArg Arg(const std::string& sjis) { return {SjisToWide(sjis), false}; }

// Pattern characters in a name asked of SQLColumns stand for themselves.
TArg PatternArg(SQLHDBC dbc, const std::string& sjis) {
  SQLWCHAR escape[8] = {};
  SQLSMALLINT len = 0;
  TArg arg = Arg(sjis);
  if (!Ok(SQLGetInfoW(dbc, SQL_SEARCH_PATTERN_ESCAPE, escape, sizeof escape, &len)) || escape[0] == 0) return arg;
  TWide escaped;
  for (SQLWCHAR c : arg.Text) {
    if (c == '_' || c == '%' || c == escape[0]) escaped.push_back(escape[0]);
    escaped.push_back(c);
  }
  arg.Text = std::move(escaped);
  return arg;
}

TNameFold Fold(SQLHDBC dbc) {
  SQLUSMALLINT fold = 0;
  if (!Ok(SQLGetInfoW(dbc, SQL_IDENTIFIER_CASE, &fold, sizeof fold, nullptr))) return TNameFold::Upper;
  if (fold == SQL_IC_UPPER) return TNameFold::Upper;
  if (fold == SQL_IC_LOWER) return TNameFold::Lower;
  return TNameFold::None;
}

}  // namespace

void OdbcReadCatalog(SQLHDBC dbc, SQLHSTMT stmt, TCatalog& catalog) {
  catalog.Fold = Fold(dbc);
  TWide any = SjisToWide("%"), types = SjisToWide("TABLE,VIEW");
  if (!Ok(SQLTablesW(stmt, nullptr, 0, any.data(), SQL_NTS, any.data(), SQL_NTS, types.data(), SQL_NTS)))
    Fail(SQL_HANDLE_STMT, stmt);
  SQLRETURN rc;
  while (Ok(rc = SQLFetch(stmt))) {
    TCatalogTable t;
    t.Key = Text(stmt, 1);  // the catalogue, asked again for the columns
    t.Schema = Text(stmt, 2);
    t.Name = Text(stmt, 3);
    t.Kind = Text(stmt, 4);
    catalog.Tables.push_back(std::move(t));
  }
  if (rc != SQL_NO_DATA) Fail(SQL_HANDLE_STMT, stmt);
}

void OdbcReadColumns(SQLHDBC dbc, SQLHSTMT stmt, const TCatalogTable& table, std::vector<TCatalogColumn>& columns) {
  TArg cat = table.Key.empty() ? TArg{} : Arg(table.Key);
  TArg schema = table.Schema.empty() ? TArg{} : PatternArg(dbc, table.Schema);
  TArg name = PatternArg(dbc, table.Name);
  TWide any = SjisToWide("%");
  if (!Ok(SQLColumnsW(stmt, cat.Data(), cat.Length(), schema.Data(), schema.Length(), name.Data(), name.Length(),
                      any.data(), SQL_NTS)))
    Fail(SQL_HANDLE_STMT, stmt);
  SQLRETURN rc;
  while (Ok(rc = SQLFetch(stmt))) {
    // A driver without the escape may still match by pattern.
    if (Text(stmt, 2) != table.Schema || Text(stmt, 3) != table.Name) continue;
    TCatalogColumn c;
    c.Name = Text(stmt, 4);
    const std::string dataType = Text(stmt, 5);
    c.Type = Text(stmt, 6);
    bool sizeNull = false, digitsNull = false;
    c.Size = Text(stmt, 7, &sizeNull);
    const std::string digits = Text(stmt, 9, &digitsNull);
    // Only exact numbers have a scale; some drivers fill it in for any type.
    const bool exact = dataType == std::to_string(SQL_NUMERIC) || dataType == std::to_string(SQL_DECIMAL);
    if (exact && !sizeNull && !digitsNull && !digits.empty()) c.Size += "," + digits;
    c.Nullable = Text(stmt, 11) != "0";
    columns.push_back(std::move(c));
  }
  if (rc != SQL_NO_DATA) Fail(SQL_HANDLE_STMT, stmt);
}

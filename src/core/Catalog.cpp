#include "core/Catalog.h"

#include <algorithm>
#include <climits>
#include <cstdint>

#include "core/Session.h"
#include "core/Sjis.h"

namespace {

using TRow = std::vector<std::string>;

// The database's busy handler while one reading runs, and none after it:
// the last run's handler may still be set, and it would stop a reading
// after the run. The engine sets its own again before its next statement.
class TReadingBusy {
 public:
  TReadingBusy(TDatabase& db, const TDatabase::TBusyHandler& busy) : db_(db) { db_.SetBusyHandler(busy); }
  ~TReadingBusy() { db_.SetBusyHandler({}); }
  TReadingBusy(const TReadingBusy&) = delete;
  TReadingBusy& operator=(const TReadingBusy&) = delete;

 private:
  TDatabase& db_;
};

// Every row of a catalogue query, whatever row limit the last run left on
// the database (the engine sets its own again before its next query), each
// at least width cells wide, however few columns a driver returned.
std::vector<TRow> Rows(TDatabase& db, const std::string& sql, size_t width) {
  db.SetRowsWanted(INT32_MAX);
  std::unique_ptr<TDynaset> rows = db.CreateDynaset(sql, 0);
  const int n = rows->FieldCount();
  std::vector<TRow> out;
  for (; !rows->Eof(); rows->MoveNext()) {
    TRow row(std::max(static_cast<size_t>(n), width));
    for (int i = 0; i < n; ++i) {
      const TFieldValue v = rows->Field(i).Value();
      if (v.Kind == TValueKind::Text) row[static_cast<size_t>(i)] = std::string(v.Text);
    }
    out.push_back(std::move(row));
  }
  // A stopped query ends its rows without an error; part of a catalogue
  // must not pass for all of it.
  if (db.Stopped()) throw TSessionError(0, SJ("読込みを中断しました"));
  return out;
}

std::string Literal(std::string_view text) {
  std::string out;
  AppendLiteral(out, text, TSqlDialect{});
  return out;
}


// The size in a declared type's parentheses: "VARCHAR(20)" gives "20",
// "NUMERIC(10, 2)" gives "10,2".
std::string DeclaredSize(const std::string& type) {
  const size_t open = type.find('('), close = type.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return {};
  std::string size;
  for (size_t i = open + 1; i < close; ++i)
    if (type[i] != ' ') size += type[i];
  return size;
}

TCatalog SqliteCatalog(TDatabase& db) {
  TCatalog catalog;
  catalog.DefaultSchema = "main";
  for (TRow& r : Rows(db,
                      "SELECT name, upper(type) FROM sqlite_schema "
                      "WHERE type IN ('table', 'view') AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' "
                      "ORDER BY name",
                      2))
    catalog.Tables.push_back({"main", std::move(r[0]), std::move(r[1]), {}});
  return catalog;
}

std::vector<TCatalogColumn> SqliteColumns(TDatabase& db, const TCatalogTable& table) {
  std::vector<TCatalogColumn> columns;
  // hidden 1 marks a virtual table's hidden columns, which SELECT * leaves out.
  for (TRow& r : Rows(db, "SELECT name, type, \"notnull\" FROM pragma_table_xinfo(" + Literal(table.Name) +
                              ") WHERE hidden <> 1 ORDER BY cid",
                          3)) {
    std::string size = DeclaredSize(r[1]);
    columns.push_back({std::move(r[0]), std::move(r[1]), std::move(size), r[2] != "1"});
  }
  return columns;
}

TCatalog PostgresCatalog(TDatabase& db) {
  TCatalog catalog;
  const std::vector<TRow> schema = Rows(db, "SELECT current_schema()", 1);
  if (!schema.empty()) catalog.DefaultSchema = schema[0][0];
  for (TRow& r : Rows(db,
                      "SELECT n.nspname, c.relname, "
                      "CASE WHEN c.relkind IN ('v', 'm') THEN 'VIEW' ELSE 'TABLE' END, c.oid::text "
                      "FROM pg_catalog.pg_class c JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
                      "WHERE c.relkind IN ('r', 'v', 'm', 'p', 'f') "
                      "AND n.nspname NOT LIKE 'pg\\_toast%' AND n.nspname NOT LIKE 'pg\\_temp\\_%' "
                      "AND pg_catalog.has_schema_privilege(n.oid, 'USAGE')",
                      4))
    catalog.Tables.push_back({std::move(r[0]), std::move(r[1]), std::move(r[2]), std::move(r[3])});
  SortTables(catalog.Tables);
  return catalog;
}

std::vector<TCatalogColumn> PostgresColumns(TDatabase& db, const TCatalogTable& table) {
  // The key is the oid this program read itself; anything else is refused
  // rather than put into the statement.
  if (table.Key.empty() || !std::all_of(table.Key.begin(), table.Key.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return {};
  std::vector<TCatalogColumn> columns;
  for (TRow& r : Rows(db,
                      "SELECT a.attname, pg_catalog.format_type(a.atttypid, NULL), "
                      "CASE WHEN a.atttypmod < 0 THEN NULL "
                      "WHEN t.typname IN ('bpchar', 'varchar') THEN (a.atttypmod - 4)::text "
                      "WHEN t.typname = 'numeric' THEN ((a.atttypmod - 4) >> 16)::text || ',' || "
                      "((a.atttypmod - 4) & 65535)::text "
                      "WHEN t.typname IN ('bit', 'varbit', 'time', 'timetz', 'timestamp', 'timestamptz') "
                      "THEN a.atttypmod::text END, "
                      "CASE WHEN a.attnotnull THEN '1' ELSE '0' END "
                      "FROM pg_catalog.pg_attribute a JOIN pg_catalog.pg_type t ON t.oid = a.atttypid "
                      "WHERE a.attrelid = " +
                          table.Key + " AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum",
                      4))
    columns.push_back({std::move(r[0]), std::move(r[1]), std::move(r[2]), r[3] != "1"});
  return columns;
}

}  // namespace

bool IsSystemSchema(const std::string& schema) { return schema == "pg_catalog" || schema == "information_schema"; }

TCatalog ReadCatalog(TDatabase& db) { return ReadCatalog(db, {}); }

std::vector<TCatalogColumn> ReadColumns(TDatabase& db, const TCatalogTable& table) {
  return ReadColumns(db, table, {});
}

void SortTables(std::vector<TCatalogTable>& tables) {
  std::stable_sort(tables.begin(), tables.end(), [](const TCatalogTable& a, const TCatalogTable& b) {
    const bool sa = IsSystemSchema(a.Schema), sb = IsSystemSchema(b.Schema);
    if (sa != sb) return sb;
    if (a.Schema != b.Schema) return a.Schema < b.Schema;
    return a.Name < b.Name;
  });
}

TCatalog ReadCatalog(TDatabase& db, const TDatabase::TBusyHandler& busy) {
  TReadingBusy reading(db, busy);
  TCatalog catalog;
  if (db.NativeCatalog(catalog))
    SortTables(catalog.Tables);
  else
    catalog = db.Backend() == TBackend::Postgres ? PostgresCatalog(db) : SqliteCatalog(db);
  catalog.Dialect = db.Dialect();
  return catalog;
}

std::vector<TCatalogColumn> ReadColumns(TDatabase& db, const TCatalogTable& table,
                                        const TDatabase::TBusyHandler& busy) {
  TReadingBusy reading(db, busy);
  std::vector<TCatalogColumn> columns;
  if (db.NativeColumns(table, columns)) return columns;
  return db.Backend() == TBackend::Postgres ? PostgresColumns(db, table) : SqliteColumns(db, table);
}

std::string TableReference(const TCatalog& catalog, const TCatalogTable& table) {
  std::string ref;
  if (!table.Schema.empty() && table.Schema != catalog.DefaultSchema) ref = QuoteName(table.Schema, catalog.Dialect) + ".";
  return ref + QuoteName(table.Name, catalog.Dialect);
}

std::string SelectStatement(const TCatalog& catalog, const TCatalogTable& table,
                            const std::vector<TCatalogColumn>& columns) {
  std::string sql = "SELECT ";
  if (columns.empty()) sql += "*";
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i > 0) sql += ", ";
    sql += QuoteName(columns[i].Name, catalog.Dialect);
  }
  return sql + " FROM " + TableReference(catalog, table);
}

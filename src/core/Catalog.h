#pragma once
// The tables and views of the connected database and the columns of one of
// them, read from the backend's own catalogue: SQLite's sqlite_schema and
// table_xinfo, PostgreSQL's pg_catalog (through plain SQL on the database),
// ODBC's SQLTables and SQLColumns (through TDatabase's native calls). Every
// text is cp932. Reading runs on the caller's thread while no query is open;
// failures are TSessionError, as from any other call of the database.

#include <functional>
#include <string>
#include <vector>

#include "core/SqlDialect.h"

class TBusyAnswer;
class TDatabase;

struct TCatalogTable {
  std::string Schema;  // empty where the database has none (SQLite through ODBC)
  std::string Name;
  std::string Kind;    // "TABLE" or "VIEW" (or what an ODBC driver calls it)
  std::string Key;     // the backend's own handle on the table (a PostgreSQL oid); may be empty
};

struct TCatalogColumn {
  std::string Name;
  std::string Type;
  std::string Size;    // "20", "10,2" or empty
  bool Nullable = true;
};

struct TCatalog {
  std::vector<TCatalogTable> Tables;  // ordered: schema by schema, system schemas last
  std::string DefaultSchema;          // names in it are written without their schema
  TSqlDialect Dialect;                // the server's, for the names written
};

TCatalog ReadCatalog(TDatabase& db);
std::vector<TCatalogColumn> ReadColumns(TDatabase& db, const TCatalogTable& table);
// The same with busy as the database's busy handler while they read (see
// TDatabase::SetBusyHandler); a reading it stops fails rather than giving
// part of the names. The database has no busy handler afterwards.
TCatalog ReadCatalog(TDatabase& db, const std::function<TBusyAnswer()>& busy);
std::vector<TCatalogColumn> ReadColumns(TDatabase& db, const TCatalogTable& table,
                                        const std::function<TBusyAnswer()>& busy);

// The table's name for a statement, with its schema unless that is the default.
std::string TableReference(const TCatalog& catalog, const TCatalogTable& table);
// SELECT col1, col2, ... FROM name (SELECT * for a table without columns).
std::string SelectStatement(const TCatalog& catalog, const TCatalogTable& table,
                            const std::vector<TCatalogColumn>& columns);

// PostgreSQL's own schemas, pg_catalog and information_schema.
bool IsSystemSchema(const std::string& schema);
// Orders tables by schema, the system schemas pg_catalog and
// information_schema last, then by name.
void SortTables(std::vector<TCatalogTable>& tables);

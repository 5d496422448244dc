#pragma once
// The catalogue of an ODBC connection through SQLTables and SQLColumns, for
// TOdbcDatabase, on a fresh statement handle of the connection (one a stop
// can reach). The connection must have no other statement with a pending
// result. Failures throw TSessionError with the driver's diagnostics.

#include <sql.h>

#include <vector>

#include "core/Catalog.h"

void OdbcReadCatalog(SQLHDBC dbc, SQLHSTMT stmt, TCatalog& catalog);
void OdbcReadColumns(SQLHDBC dbc, SQLHSTMT stmt, const TCatalogTable& table, std::vector<TCatalogColumn>& columns);

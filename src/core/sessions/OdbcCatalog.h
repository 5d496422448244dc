#pragma once
// The catalogue of an ODBC connection through SQLTables and SQLColumns, for
// TOdbcDatabase. The connection must have no statement with a pending
// result. Failures throw TSessionError with the driver's diagnostics.

#include <sql.h>

#include <vector>

#include "core/Catalog.h"

void OdbcReadCatalog(SQLHDBC dbc, TCatalog& catalog);
void OdbcReadColumns(SQLHDBC dbc, const TCatalogTable& table, std::vector<TCatalogColumn>& columns);

#pragma once
// psqlODBC by itself: a query's rows fetched in blocks of 512 into bound text
// columns and left there, the least any program can do with the driver.
// What a run through the driver costs on top of this is the program's.

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

// What the program adds to a psqlODBC connection string so that the driver
// fetches through a cursor, a few thousand rows at a time.
inline constexpr const char* kPsqlOdbcCursorFetch = ";UseDeclareFetch=1;Fetch=4096";

// Seconds from the statement to its last row over the connection string
// connection; the rows fetched in *rows, 0 when it cannot connect.
inline double TimeOdbcDriverAlone(const std::string& connection, const std::string& query, long* rows) {
  SQLHENV env = nullptr;
  SQLHDBC dbc = nullptr;
  SQLHSTMT stmt = nullptr;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  *rows = 0;
  double seconds = 0;
  std::string conn = connection;
  if (SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr, reinterpret_cast<SQLCHAR*>(conn.data()), SQL_NTS, nullptr, 0,
                                     nullptr, SQL_DRIVER_NOPROMPT))) {
    const auto start = std::chrono::steady_clock::now();
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    constexpr SQLULEN kBlock = 512;
    constexpr SQLLEN kWidth = 256;
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(kBlock), 0);
    SQLULEN fetched = 0;
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    std::string sql = query;
    if (SQL_SUCCEEDED(SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS))) {
      SQLSMALLINT cols = 0;
      SQLNumResultCols(stmt, &cols);
      std::vector<std::vector<char>> bufs(static_cast<size_t>(cols), std::vector<char>(kBlock * kWidth));
      std::vector<std::vector<SQLLEN>> inds(static_cast<size_t>(cols), std::vector<SQLLEN>(kBlock));
      for (SQLSMALLINT c = 0; c < cols; ++c)
        SQLBindCol(stmt, static_cast<SQLUSMALLINT>(c + 1), SQL_C_CHAR, bufs[c].data(), kWidth, inds[c].data());
      while (SQL_SUCCEEDED(SQLFetch(stmt))) *rows += static_cast<long>(fetched);
    }
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
  } else {
    std::fprintf(stderr, "psqlODBC: cannot connect\n");
  }
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return seconds;
}

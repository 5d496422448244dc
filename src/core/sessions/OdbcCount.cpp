#include "core/sessions/OdbcCount.h"

#include <sqlext.h>

void ReadAndCount(SQLHSTMT stmt, TOdbcRows& rows, TReadOutcome& out, long long wanted, const TOdbcCancel& cancel) {
  TKeptRows& kept = *out.Kept;
  while (kept.Rows() < wanted && !cancel.Asked()) {
    const TFetch fetch = FetchRowInto(stmt, rows, out.Error);
    if (fetch == TFetch::End) return;
    if (fetch == TFetch::Failed) {
      out.Failed = true;
      return;
    }
    for (const TOdbcCell& cell : rows.Cells) {
      if (cell.Kind == TValueKind::DateTime)
        kept.AddDate(cell.Date);  // read once
      else if (cell.Kind == TValueKind::Text)
        kept.AddText(cell.Text);
      else
        kept.AddNull();
    }
    kept.EndRow();
  }
  if (cancel.Asked()) return;
  if (!rows.Bound.empty()) out.Counted = static_cast<long long>(rows.Fetched - rows.Next);
  SQLFreeStmt(stmt, SQL_UNBIND);
  rows.Bound.clear();  // the driver writes no more
  // The rest without a column bound: no value is converted, and a driver
  // that fetches through a server cursor brings a block over per fetch.
  SQLULEN fetched = 0;
  const bool told = Succeeded(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0));
  // The driver must not keep writing here once this function has returned.
  struct TForget {
    SQLHSTMT Stmt;
    ~TForget() { SQLSetStmtAttr(Stmt, SQL_ATTR_ROWS_FETCHED_PTR, nullptr, 0); }
  } forget{stmt};
  SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1024), 0);
  while (!cancel.Asked()) {
    fetched = 0;
    const SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) break;
    if (!Succeeded(rc)) {
      out.Failed = true;
      out.Error = ReadDiag(SQL_HANDLE_STMT, stmt);
      return;
    }
    out.Counted += told ? static_cast<long long>(fetched) : 1;
  }
}

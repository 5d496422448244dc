#pragma once
// Reading a query at its opening: the rows the engine will show are kept,
// the rest are counted from the same execution, so the count is that of the
// very rows shown and nothing of the query ever runs twice. Runs on the
// connection's worker.

#include <sql.h>

#include <memory>

#include "core/sessions/KeptRows.h"
#include "core/sessions/OdbcBlocks.h"
#include "core/sessions/OdbcHandles.h"

struct TReadOutcome {
  std::unique_ptr<TKeptRows> Kept;
  long long Counted = 0;  // rows past the kept ones
  bool Failed = false;    // a fetch failed; the rows before it are in Kept and Counted
  TDiag Error;
};

// Reads up to wanted rows of stmt into out.Kept, then counts the rest by
// fetching them without a column bound. A failure ends the reading, kept in
// out; a stop asked of cancel ends it between two fetches.
//
// psqlODBC's server cursor cannot count the rest for it: the driver declares
// it WITH HOLD, and any statement that ends the driver's transaction while
// the cursor is open (a MOVE among them) has the server run the whole query
// again to keep the cursor's rows.
void ReadAndCount(SQLHSTMT stmt, TOdbcRows& rows, TReadOutcome& out, long long wanted, const TOdbcCancel& cancel);

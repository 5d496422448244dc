#include "core/sessions/OdbcCount.h"

#include <sqlext.h>

#include <algorithm>
#include <optional>

#include "core/sessions/OdbcKeeper.h"

namespace {

// Slots for the blocks of a result larger than one: the driver fills one
// while the keeper turns the other into cells. More slots only spread the
// driver's writes over more memory than the processor's cache holds.
constexpr size_t kKeeperSlots = 2;

// One row at a time, where the driver cannot fetch in blocks. False once the
// rows have ended.
bool ReadRows(SQLHSTMT stmt, TOdbcRows& rows, TReadOutcome& out, long long wanted, const TOdbcCancel& cancel) {
  TKeptRows& kept = *out.Kept;
  while (kept.Rows() < wanted && !cancel.Asked()) {
    const TFetch fetch = FetchRowInto(stmt, rows, out.Error);
    if (fetch == TFetch::End) return false;
    if (fetch == TFetch::Failed) {
      out.Failed = true;
      return false;
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
  return true;
}

// In blocks. A block is kept here while it is the only one; from the first
// full block on, the blocks go to a keeper, and the driver fetches the next
// into the next slot meanwhile. A block with a value too long for its
// buffer is kept here, after the keeper's, while it is the driver's current
// one (the value is read again through it). The rows of the last block past
// `wanted` are counted. False once the rows have ended.
bool ReadBlocks(SQLHSTMT stmt, TOdbcRows& rows, TReadOutcome& out, long long wanted, const TOdbcCancel& cancel) {
  TKeptRows& kept = *out.Kept;
  std::optional<TBlockKeeper> keeper;
  size_t slot = 0;
  long long taken = 0;  // rows fetched to be kept
  bool more = true;
  while (taken < wanted && !cancel.Asked()) {
    if (keeper) keeper->WaitFree(slot);
    const TFetch fetch = FetchBlock(stmt, rows, out.Error);
    if (fetch != TFetch::Row) {
      out.Failed = fetch == TFetch::Failed;
      more = false;
      break;
    }
    const SQLULEN count = static_cast<SQLULEN>(std::min<long long>(static_cast<long long>(rows.Fetched), wanted - taken));
    taken += static_cast<long long>(count);
    out.Counted = static_cast<long long>(rows.Fetched - count);
    if (!BlockFits(rows, slot, count)) {
      if (keeper) keeper->Drain();
      if (!KeepBlock(stmt, rows, slot, count, kept, out.Error)) {
        out.Failed = true;
        more = false;
        break;
      }
      continue;  // the slot is free again
    }
    if (!keeper && rows.Fetched == rows.Block && taken < wanted) {
      GrowSlots(rows, kKeeperSlots);
      keeper.emplace(rows, kept);
    }
    if (!keeper) {
      KeepFittingBlock(rows, slot, count, rows.Scratch, kept);
      continue;
    }
    keeper->Hand(slot, count);
    slot = (slot + 1) % rows.Slots;
    if (!BindSlot(stmt, rows, slot)) {
      out.Error = ReadDiag(SQL_HANDLE_STMT, stmt);
      out.Failed = true;
      more = false;
      break;
    }
  }
  if (keeper) keeper->Drain();
  return more;
}

}  // namespace

void ReadAndCount(SQLHSTMT stmt, TOdbcRows& rows, TReadOutcome& out, long long wanted, const TOdbcCancel& cancel) {
  const bool more = rows.Bound.empty() ? ReadRows(stmt, rows, out, wanted, cancel)
                                       : ReadBlocks(stmt, rows, out, wanted, cancel);
  if (!more || cancel.Asked()) return;
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

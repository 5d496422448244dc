#pragma once
// A query's columns as the driver describes them, and its rows as the driver
// hands them over: in blocks into bound buffers where the driver allows it,
// otherwise one at a time through SQLGetData. Runs on the connection's
// worker, except KeepFittingBlock, which reads a block the driver has done
// with; nothing here throws.

#include <sql.h>

#include <string>
#include <vector>

#include "core/Session.h"
#include "core/sessions/KeptRows.h"
#include "core/sessions/OdbcHandles.h"
#include "core/sessions/OdbcText.h"
#include "core/sessions/ServerTypes.h"

struct TOdbcColumn {
  std::string Name;  // cp932
  TServerColumnType Type;
  SQLULEN Size = 0;  // the driver's column size
};

struct TOdbcCell {
  TValueKind Kind = TValueKind::Null;
  std::string Text;  // as read from the driver
  TDateTime Date = 0;
};

// The way of a value from the driver to its cell, reused for every value by
// whoever converts them.
struct TCellScratch {
  TWide Text;            // a wide value
  std::string Utf8;      // a narrow value, or the way from Text to cp932
  std::string DateText;  // a date's cell text, on its way into a cell
  TOdbcCell Cell;
};

// A column fetched in blocks: the driver writes a block's values side by
// side, Width bytes each, with their lengths in bytes in Ind. The column has
// a pair of buffers for each slot and is bound to one of them; buffers are
// never freed before the statement, so the driver never writes into freed
// memory.
struct TBoundColumn {
  size_t Cell = 0;  // the column's index
  size_t Width = 0;
  struct TSlot {
    std::vector<char> Buf;
    std::vector<SQLLEN> Ind;
  };
  std::vector<TSlot> Slots;
};

// What a fetch writes: the current row's cells and the buffers the driver
// fills. The driver holds pointers into it while the statement is open.
struct TOdbcRows {
  std::vector<TOdbcCell> Cells;
  std::vector<int> Codes;  // each column's type code
  // Text comes as UTF-8 (SQL_C_CHAR) where the driver is known to give it
  // so, else as UTF-16.
  bool Narrow = false;
  TCellScratch Scratch;
  // Fetching in blocks: the bound columns (empty: one row at a time), the
  // rows a block holds, the slots each column has, the rows of the last
  // fetch, and whether a value too long for its buffer can be read again
  // whole.
  std::vector<TBoundColumn> Bound;
  SQLULEN Block = 0;
  size_t Slots = 0;
  SQLULEN Fetched = 0;
  bool Reread = false;
};

// Describes the columns of stmt's result into columns and prepares rows to
// read them (bound for blocks where the driver allows). False with the
// driver's error.
bool DescribeColumns(SQLHDBC dbc, SQLHSTMT stmt, TOdbcRows& rows, std::vector<TOdbcColumn>& columns, TDiag& error);

enum class TFetch { Row, End, Failed };

// Without bound columns: reads the next row of stmt into rows.Cells; the
// columns the engine never shows stay null. Failed with the driver's error
// in error.
TFetch FetchRowInto(SQLHSTMT stmt, TOdbcRows& rows, TDiag& error);

// With bound columns: gives each column `slots` slots; those it has stay
// where they are. Only while nobody reads rows.Bound.
void GrowSlots(TOdbcRows& rows, size_t slots);
// Binds the columns to the buffers of slot `slot`. False when the driver
// refuses; the columns may then be bound partly to another slot.
bool BindSlot(SQLHSTMT stmt, TOdbcRows& rows, size_t slot);
// Fetches the next block into the slot the columns are bound to; Row with
// its rows in rows.Fetched (never 0).
TFetch FetchBlock(SQLHSTMT stmt, TOdbcRows& rows, TDiag& error);
// Whether every value of rows [0, count) of slot's block fits its buffer, so
// that the block can be kept without the driver.
bool BlockFits(const TOdbcRows& rows, size_t slot, SQLULEN count);
// Keeps rows [0, count) of slot's block, every value of which fits
// (BlockFits). Reads the block only: another thread may run it while the
// driver fills another slot.
void KeepFittingBlock(const TOdbcRows& rows, size_t slot, SQLULEN count, TCellScratch& scratch, TKeptRows& kept);
// Keeps rows [0, count) of the driver's current block, in slot `slot`,
// reading a value too long for its buffer again whole. False with the
// driver's error; the rows before the failing one are kept.
bool KeepBlock(SQLHSTMT stmt, TOdbcRows& rows, size_t slot, SQLULEN count, TKeptRows& kept, TDiag& error);

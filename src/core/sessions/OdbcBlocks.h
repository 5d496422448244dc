#pragma once
// A query's columns as the driver describes them, and its rows as the driver
// hands them over: in blocks into bound buffers where the driver allows it,
// otherwise one at a time through SQLGetData. Runs on the connection's
// worker; nothing here throws.

#include <sql.h>

#include <string>
#include <vector>

#include "core/Session.h"
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

// A column fetched in blocks: the driver writes a block's values side by
// side, Width bytes each, with their lengths in bytes in Ind.
struct TBoundColumn {
  size_t Cell = 0;  // the column's index
  size_t Width = 0;
  std::vector<char> Buf;
  std::vector<SQLLEN> Ind;
};

// What a fetch writes: the current row's cells and the buffers the driver
// fills. The driver holds pointers into it while the statement is open.
struct TOdbcRows {
  std::vector<TOdbcCell> Cells;
  std::vector<int> Codes;  // each column's type code
  // Text comes as UTF-8 (SQL_C_CHAR) where the driver is known to give it
  // so, else as UTF-16.
  bool Narrow = false;
  TWide Text;            // a wide value, reused for every cell
  std::string Utf8;      // a narrow value, or the way from Text to cp932
  std::string DateText;  // a date's cell text, on its way into a cell
  // Fetching in blocks: the rows of the block, the next one to read, and
  // whether a value too long for its buffer can be read again whole.
  std::vector<TBoundColumn> Bound;
  SQLULEN Fetched = 0, Next = 0;
  bool Reread = false;
};

// Describes the columns of stmt's result into columns and prepares rows to
// read them (bound for blocks where the driver allows). False with the
// driver's error.
bool DescribeColumns(SQLHDBC dbc, SQLHSTMT stmt, TOdbcRows& rows, std::vector<TOdbcColumn>& columns, TDiag& error);

enum class TFetch { Row, End, Failed };

// Reads the next row of stmt into rows.Cells; the columns the engine never
// shows stay null. Failed with the driver's error in error.
TFetch FetchRowInto(SQLHSTMT stmt, TOdbcRows& rows, TDiag& error);

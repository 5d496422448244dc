#include "core/sessions/OdbcBlocks.h"

#include <sqlext.h>

#include <algorithm>
#include <cassert>

#include "core/Sjis.h"
#include "core/SqlInfo.h"

namespace {

bool IsShown(int code) { return code == otVarchar2 || code == otNumber || code == otDate || code == otChar; }

// The cell's text from what the driver wrote into scratch.Text or
// scratch.Utf8: a number without the zeros that trail its fraction, a
// date-time text as a date-time.
void SetCellText(const TOdbcRows& rows, size_t i, TCellScratch& scratch, TOdbcCell& cell) {
  cell.Kind = TValueKind::Text;
  cell.Text.clear();
  if (rows.Narrow)
    AppendUtf8AsSjis(cell.Text, scratch.Utf8);
  else
    AppendWideAsSjis(cell.Text, scratch.Text.data(), scratch.Text.size(), scratch.Utf8);
  if (rows.Codes[i] == otNumber) {
    const std::string_view trimmed = TrimNumberText(cell.Text);
    if (trimmed.data() == cell.Text.data())
      cell.Text.resize(trimmed.size());
    else
      cell.Text.assign(trimmed);  // "0", not a part of the text
    return;
  }
  // Drivers give date-times as text in the ODBC form "yyyy-mm-dd
  // hh:mm:ss[.f]": the plain form becomes its cell text at once, any other
  // a date-time; a value that is no date (SQLite allows them) stays text.
  if (rows.Codes[i] != otDate) return;
  if (IsoDateCellText(cell.Text, scratch.DateText))
    cell.Text.swap(scratch.DateText);
  else if (ParseIsoDateTime(cell.Text, cell.Date))
    cell.Kind = TValueKind::DateTime;
}

void Keep(const TOdbcCell& cell, TKeptRows& kept) {
  if (cell.Kind == TValueKind::DateTime)
    kept.AddDate(cell.Date);  // read once
  else if (cell.Kind == TValueKind::Text)
    kept.AddText(cell.Text);
  else
    kept.AddNull();
}

enum class TGot { Value, Null, Failed };

// Reads a column of the current row with SQLGetData, in parts of any length.
template <class TChar>
TGot GetParts(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT cType, std::basic_string<TChar>& text) {
  TChar buf[2048];
  text.clear();
  for (;;) {
    SQLLEN ind = 0;
    SQLRETURN rc = SQLGetData(stmt, column, cType, buf, sizeof buf, &ind);
    if (rc == SQL_NO_DATA) break;
    if (!Succeeded(rc)) return TGot::Failed;
    if (ind == SQL_NULL_DATA) return TGot::Null;
    const size_t room = sizeof buf / sizeof buf[0] - 1;
    // A part that did not fit fills the buffer; otherwise the length is
    // told, or (from a careless driver) only the terminating zero.
    const bool more = rc == SQL_SUCCESS_WITH_INFO &&
                      (ind == SQL_NO_TOTAL || static_cast<size_t>(ind) / sizeof(TChar) > room);
    size_t got = room;
    if (!more && ind >= 0) got = std::min(static_cast<size_t>(ind) / sizeof(TChar), room);
    // The zero after the text is always written; a length that stops short
    // of it is the driver's miscount (MariaDB's wide length is one short for
    // a text holding U+FA11), and the text runs to the zero.
    if (!more && ind >= 0 && buf[got] != 0) got = std::find(buf + got, buf + room, TChar(0)) - buf;
    if (!more && ind < 0) got = std::find(buf, buf + room, TChar(0)) - buf;
    text.append(buf, got);
    if (!more) break;
  }
  return TGot::Value;
}

TGot GetText(SQLHSTMT stmt, SQLUSMALLINT column, TOdbcRows& rows) {
  if (rows.Narrow) return GetParts(stmt, column, SQL_C_CHAR, rows.Scratch.Utf8);
  return GetParts(stmt, column, SQL_C_WCHAR, rows.Scratch.Text);
}

// Binds the shown columns for fetching in blocks, when every one of them
// has a size that fits a buffer and the driver can read a value again
// within a block (so a value longer than its column said is never cut).
// Otherwise the rows come one at a time through SQLGetData, as any driver
// allows.
void BindForBlocks(SQLHDBC dbc, SQLHSTMT stmt, TOdbcRows& rows, const std::vector<TOdbcColumn>& columns) {
  SQLUINTEGER extensions = 0;
  if (!Succeeded(SQLGetInfo(dbc, SQL_GETDATA_EXTENSIONS, &extensions, sizeof extensions, nullptr)) ||
      (extensions & SQL_GD_BLOCK) == 0 || (extensions & SQL_GD_BOUND) == 0)
    return;
  // Room in characters; a UTF-8 character takes up to four bytes, a UTF-16
  // one up to two units.
  const size_t unit = rows.Narrow ? 1 : sizeof(SQLWCHAR);
  std::vector<TBoundColumn> bound;
  size_t rowBytes = 0;
  for (size_t i = 0; i < rows.Codes.size(); ++i) {
    const int code = rows.Codes[i];
    if (!IsShown(code)) continue;
    const SQLULEN size = columns[i].Size;
    size_t width;
    if (code == otNumber)
      width = std::max<size_t>(size + 4, 40) * unit;
    else if (code == otDate)
      width = 40 * unit;
    else if (size == 0 || size > 4000)
      return;  // a long text: SQLGetData in parts
    else
      width = rows.Narrow ? size * 4 + 1 : (size * 2 + 1) * sizeof(SQLWCHAR);
    TBoundColumn b;
    b.Cell = i;
    b.Width = width;
    rowBytes += width + sizeof(SQLLEN);
    bound.push_back(std::move(b));
  }
  if (bound.empty()) return;
  SQLULEN block = std::clamp<SQLULEN>((1 << 20) / rowBytes, 1, 2048);
  if (!Succeeded(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0)) ||
      !Succeeded(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(block), 0)))
    return;
  SQLULEN granted = 0;
  if (!Succeeded(SQLGetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, &granted, 0, nullptr)) || granted == 0) granted = 1;
  block = granted;
  rows.Bound = std::move(bound);
  rows.Block = block;
  GrowSlots(rows, 1);
  if (!BindSlot(stmt, rows, 0)) {
    SQLFreeStmt(stmt, SQL_UNBIND);
    rows.Bound.clear();
    rows.Slots = 0;
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(1), 0);
    return;
  }
  SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &rows.Fetched, 0);
  rows.Reread = true;
}

// Where a value of a block fetch lies, and whether it fits its buffer.
struct TBoundValue {
  const char* Bytes = nullptr;
  SQLLEN Ind = SQL_NULL_DATA;
  bool Fits = true;
};

TBoundValue BoundValue(const TOdbcRows& rows, const TBoundColumn& b, size_t slot, SQLULEN row) {
  const size_t unit = rows.Narrow ? 1 : sizeof(SQLWCHAR);
  const TBoundColumn::TSlot& s = b.Slots[slot];
  TBoundValue v;
  v.Bytes = s.Buf.data() + row * b.Width;
  v.Ind = s.Ind[row];
  v.Fits = v.Ind == SQL_NULL_DATA || (v.Ind >= 0 && static_cast<size_t>(v.Ind) / unit < b.Width / unit);
  return v;
}

// A value that fits its buffer, into scratch.Utf8 or scratch.Text.
void TakeFitting(const TOdbcRows& rows, const TBoundColumn& b, const TBoundValue& v, TCellScratch& scratch) {
  if (rows.Narrow) {
    size_t got = static_cast<size_t>(v.Ind);
    if (v.Bytes[got] != 0) got = std::find(v.Bytes + got, v.Bytes + b.Width - 1, char(0)) - v.Bytes;  // as GetParts
    scratch.Utf8.assign(v.Bytes, got);
  } else {
    const size_t units = b.Width / sizeof(SQLWCHAR);
    const SQLWCHAR* wide = reinterpret_cast<const SQLWCHAR*>(v.Bytes);
    size_t got = static_cast<size_t>(v.Ind) / sizeof(SQLWCHAR);
    if (wide[got] != 0) got = std::find(wide + got, wide + units - 1, SQLWCHAR(0)) - wide;  // as GetParts
    scratch.Text.assign(wide, got);
  }
}

}  // namespace

bool DescribeColumns(SQLHDBC dbc, SQLHSTMT stmt, TOdbcRows& rows, std::vector<TOdbcColumn>& columns, TDiag& error) {
  SQLSMALLINT n = 0;
  if (!Succeeded(SQLNumResultCols(stmt, &n))) {
    error = ReadDiag(SQL_HANDLE_STMT, stmt);
    return false;
  }
  for (SQLSMALLINT i = 1; i <= n; ++i) {
    SQLWCHAR name[512];
    SQLSMALLINT nameLen = 0, sqlType = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    if (!Succeeded(SQLDescribeColW(stmt, static_cast<SQLUSMALLINT>(i), name, 512, &nameLen, &sqlType, &size, &digits,
                                   &nullable))) {
      error = ReadDiag(SQL_HANDLE_STMT, stmt);
      return false;
    }
    TOdbcColumn c;
    AppendWideAsSjis(c.Name, name, WrittenLength(name, nameLen, 511));
    SQLWCHAR typeName[128];
    SQLSMALLINT typeLen = 0;
    std::string declared;
    if (Succeeded(SQLColAttributeW(stmt, static_cast<SQLUSMALLINT>(i), SQL_DESC_TYPE_NAME, typeName, sizeof typeName,
                                   &typeLen, nullptr)))
      AppendWideAsSjis(declared, typeName, WrittenLength(typeName, typeLen / SQLSMALLINT(sizeof(SQLWCHAR)), 127));
    c.Type = MapOdbcType(sqlType, size, digits, declared);
    c.Size = size;
    rows.Codes.push_back(c.Type.Code);
    columns.push_back(std::move(c));
  }
  rows.Cells.resize(columns.size());
  if (n > 0) BindForBlocks(dbc, stmt, rows, columns);
  return true;
}

TFetch FetchRowInto(SQLHSTMT stmt, TOdbcRows& rows, TDiag& error) {
  SQLRETURN rc = SQLFetch(stmt);
  if (rc == SQL_NO_DATA) return TFetch::End;
  if (!Succeeded(rc)) {
    error = ReadDiag(SQL_HANDLE_STMT, stmt);
    return TFetch::Failed;
  }
  // Columns are read in order (not every driver allows another order);
  // those the engine never shows are not fetched at all.
  for (size_t i = 0; i < rows.Cells.size(); ++i) {
    TOdbcCell& cell = rows.Cells[i];
    cell.Kind = TValueKind::Null;
    cell.Text.clear();
    if (!IsShown(rows.Codes[i])) continue;
    const TGot got = GetText(stmt, static_cast<SQLUSMALLINT>(i + 1), rows);
    if (got == TGot::Failed) {
      error = ReadDiag(SQL_HANDLE_STMT, stmt);
      return TFetch::Failed;
    }
    if (got == TGot::Value) SetCellText(rows, i, rows.Scratch, cell);
  }
  return TFetch::Row;
}

void GrowSlots(TOdbcRows& rows, size_t slots) {
  if (slots <= rows.Slots) return;
  rows.Slots = slots;
  for (TBoundColumn& b : rows.Bound) {
    b.Slots.resize(slots);
    for (TBoundColumn::TSlot& s : b.Slots) {
      s.Buf.resize(b.Width * rows.Block);
      s.Ind.resize(rows.Block);
    }
  }
}

bool BindSlot(SQLHSTMT stmt, TOdbcRows& rows, size_t slot) {
  assert(slot < rows.Slots);
  const SQLSMALLINT cType = rows.Narrow ? SQL_C_CHAR : SQL_C_WCHAR;
  for (TBoundColumn& b : rows.Bound) {
    TBoundColumn::TSlot& s = b.Slots[slot];
    if (!Succeeded(SQLBindCol(stmt, static_cast<SQLUSMALLINT>(b.Cell + 1), cType, s.Buf.data(),
                              static_cast<SQLLEN>(b.Width), s.Ind.data())))
      return false;
  }
  return true;
}

TFetch FetchBlock(SQLHSTMT stmt, TOdbcRows& rows, TDiag& error) {
  rows.Fetched = 0;
  const SQLRETURN rc = SQLFetch(stmt);
  if (rc == SQL_NO_DATA || (Succeeded(rc) && rows.Fetched == 0)) return TFetch::End;
  if (!Succeeded(rc)) {
    error = ReadDiag(SQL_HANDLE_STMT, stmt);
    return TFetch::Failed;
  }
  return TFetch::Row;
}

bool BlockFits(const TOdbcRows& rows, size_t slot, SQLULEN count) {
  for (const TBoundColumn& b : rows.Bound)
    for (SQLULEN row = 0; row < count; ++row)
      if (!BoundValue(rows, b, slot, row).Fits) return false;
  return true;
}

void KeepFittingBlock(const TOdbcRows& rows, size_t slot, SQLULEN count, TCellScratch& scratch, TKeptRows& kept) {
  const size_t columns = rows.Codes.size();
  for (SQLULEN row = 0; row < count; ++row) {
    auto b = rows.Bound.begin();
    for (size_t i = 0; i < columns; ++i) {
      if (b == rows.Bound.end() || b->Cell != i) {
        kept.AddNull();  // a column the engine never shows
        continue;
      }
      const TBoundValue v = BoundValue(rows, *b, slot, row);
      assert(v.Fits);
      if (v.Ind == SQL_NULL_DATA) {
        kept.AddNull();
      } else {
        TakeFitting(rows, *b, v, scratch);
        SetCellText(rows, i, scratch, scratch.Cell);
        Keep(scratch.Cell, kept);
      }
      ++b;
    }
    kept.EndRow();
  }
}

bool KeepBlock(SQLHSTMT stmt, TOdbcRows& rows, size_t slot, SQLULEN count, TKeptRows& kept, TDiag& error) {
  for (SQLULEN row = 0; row < count; ++row) {
    for (const TBoundColumn& b : rows.Bound) {
      TOdbcCell& cell = rows.Cells[b.Cell];
      cell.Kind = TValueKind::Null;
      cell.Text.clear();
      const TBoundValue v = BoundValue(rows, b, slot, row);
      if (v.Ind == SQL_NULL_DATA) continue;
      if (v.Fits) {
        TakeFitting(rows, b, v, rows.Scratch);
      } else {
        // Longer than the column said: read it again whole, never cut.
        if (!rows.Reread ||
            !Succeeded(SQLSetPos(stmt, static_cast<SQLSETPOSIROW>(row + 1), SQL_POSITION, SQL_LOCK_NO_CHANGE))) {
          error = {FoldSqlState("01004"), "01004", SJ("ODBC ドライバーが列の長さを超える値を返したため、読めません")};
          return false;
        }
        const TGot got = GetText(stmt, static_cast<SQLUSMALLINT>(b.Cell + 1), rows);
        if (got == TGot::Failed) {
          error = ReadDiag(SQL_HANDLE_STMT, stmt);
          return false;
        }
        if (got == TGot::Null) continue;
      }
      SetCellText(rows, b.Cell, rows.Scratch, cell);
    }
    for (const TOdbcCell& cell : rows.Cells) Keep(cell, kept);
    kept.EndRow();
  }
  return true;
}

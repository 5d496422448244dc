#pragma once
// The clipboard copies of the result: column names, quoted cell values and a
// WHERE clause over the grid's selection. The texts are built from the
// result set's names and cells (cp932); the effects put them on the
// clipboard as a whole. Values are quoted as SQL literals in the connected
// server's rules (a single quote inside doubled, and a backslash where it
// escapes), and names quoted where the server would read them as something
// else, so the text pastes into a statement as is and means what it shows.

#include <string>

#include "core/SqlDialect.h"

class TApp;
class TSqlInfo;
struct TGridSelection;

// "EMPNO,ENAME,JOB": the names of columns Left..Right, no line break.
std::string FixedRowText(TSqlInfo& info, const TGridSelection& sel);
// One line per row Top..Bottom, each ended by CR LF: '7369','SMITH'.
std::string CellText(TSqlInfo& info, const TGridSelection& sel, const TSqlDialect& dialect);
// where (EMPNO='7369' and ENAME='SMITH') CR LF, then or (...) CR LF per row.
std::string WhereText(TSqlInfo& info, const TGridSelection& sel, const TSqlDialect& dialect);

// Tab-separated lines for a spreadsheet, each ended by CR LF: the names of
// columns Left..Right first, then the rows Top..Bottom. A value holding a
// tab, a line break or a double quote is put in double quotes, with inner
// ones doubled, as spreadsheets read pasted text.
std::string TableText(TSqlInfo& info, const TGridSelection& sel);
// EMPNO IN ('7369','7499') and ENAME IN ('SMITH'): per column Left..Right,
// its distinct values of rows Top..Bottom in first-seen order; no line break.
std::string InText(TSqlInfo& info, const TGridSelection& sel, const TSqlDialect& dialect);

void FixedRowCopyExecute(TApp& app);
void CellCopyExecute(TApp& app);
void WhereCopyExecute(TApp& app);
void TableCopyExecute(TApp& app);
void InCopyExecute(TApp& app);

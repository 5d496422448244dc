#pragma once
// The Excel workbook (.xlsx) of a result, written for other people's
// spreadsheets; the program never reads one back.
//
// The first sheet holds the column names (bold, frozen, with an auto-filter)
// and the rows 1..RowPos. A cell's form follows its column's declared type:
// NUMBER cells are numbers shown exactly as their text (a text a double
// cannot hold exactly, such as 007 or more than 15 significant digits, stays
// text), DATE cells are date-times shown yyyy/mm/dd hh:mm:ss, all others are
// text; an empty cell stays empty. The sheet "SQL" holds the run information
// and the SQL lines. Texts are converted from cp932 to UTF-8; CR LF inside a
// cell becomes the spreadsheet's own line break.
//
// The workbook is streamed (memory does not grow with the rows) into a
// temporary file beside the target, which replaces the target only once the
// whole workbook is written.

#include <string>
#include <vector>

#include "core/SqlInfo.h"
#include "storage/StorageError.h"

// The sheet's bounds, less the heading row.
constexpr int kXlsxMaxDataRows = 1048575;
constexpr int kXlsxMaxColumns = 16384;
constexpr int kXlsxMaxCellChars = 32767;

// A result that does not fit a sheet, or a cell longer than a sheet cell
// holds. what() is the cp932 message for the user, saying the limit.
class TXlsxLimitError : public TStorageError {
 public:
  using TStorageError::TStorageError;
};

// True for a name with the extension ".xlsx" in any letter case.
bool IsXlsxFile(const std::string& fileName);

// Writes the workbook, replacing the file atomically. colWidthPixels[i] is
// the width of result column i in pixels (as the grid shows it); a missing
// entry leaves the sheet's default width. Throws TXlsxLimitError before
// anything is created when RowPos or ColCount exceeds the bounds above, and
// during the write for an over-long cell; TFileError when the file cannot be
// written. After any throw the previous file (or its absence) is untouched
// and no temporary file is left.
void SaveXlsx(TSqlInfo& info, const std::string& fileName, const std::vector<int>& colWidthPixels = {});

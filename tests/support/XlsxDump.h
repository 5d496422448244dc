#pragma once
// A workbook as openpyxl reads it, the way a spreadsheet program opens it.

#include <map>
#include <string>
#include <vector>

#include "support/TempDir.h"

struct TXlsxDump {
  // Per sheet: "NAME\tFREEZE\tFILTER\tWIDTHS" (WIDTHS "A=8.43,B=..." as set).
  std::vector<std::string> sheets;
  // "SHEET!A1" -> "TYPE\tVALUE\tFORMAT\tBOLD\tWRAP" for every cell that holds
  // something: TYPE n, s or d (a date), VALUE Python's repr (ISO for dates).
  std::map<std::string, std::string> cells;

  // The cell's line, "" when the cell holds nothing.
  std::string Cell(const std::string& sheetAndCell) const;
};

// Reads the workbook with the Debian python3 and openpyxl, working in dir; a
// failure of the reader is a test failure and gives an empty dump.
TXlsxDump ReadXlsx(const TTempDir& dir, const std::string& xlsx);

#pragma once
// Pure helpers of the SQLite backend: declared types to Oracle codes, and
// SQLite's date forms to date-times.

#include <cstdint>
#include <string>
#include <string_view>

#include "core/DateTime.h"

struct TSqliteColumnType {
  int Code = 1;
  int Size = 0, Precision = 0, Scale = 0;
};

// decl: the declared type (nullptr for an expression); storage: the SQLite
// storage class of the first value (SQLITE_NULL when there is none).
TSqliteColumnType MapSqliteType(const char* decl, int storage);

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.SSS]]" (also with "T" or "/"), "HH:MM[:SS]".
bool ParseSqliteDate(std::string_view text, TDateTime& out);
// The cell text of a date SQLite holds as "YYYY-MM-DD HH:MM:SS" (also with
// "T" or "/", years 1900 to 9999, no fraction, no blanks), written straight
// into `out` as "YYYY/MM/DD HH:MM:SS": the text that ParseSqliteDate and
// FormatDateTime would make of it, without the detour through a date-time.
// False for any other text, which then takes that detour.
bool SqliteDateCellText(std::string_view text, std::string& out);
TDateTime JulianDayToDateTime(double jd);
TDateTime UnixSecondsToDateTime(int64_t seconds);
// The shortest text that reads back as the same double ("1.5", "3", "1e+20").
std::string FormatSqliteReal(double d);

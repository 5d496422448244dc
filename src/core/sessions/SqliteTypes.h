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
TDateTime JulianDayToDateTime(double jd);
TDateTime UnixSecondsToDateTime(int64_t seconds);
// The shortest text that reads back as the same double ("1.5", "3", "1e+20").
std::string FormatSqliteReal(double d);

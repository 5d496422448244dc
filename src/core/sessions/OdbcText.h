#pragma once
// Text across the ODBC driver manager: UTF-16 (the wide API) to and from
// UTF-8 and cp932.

#include <sql.h>

#include <string>
#include <string_view>

using TWide = std::basic_string<SQLWCHAR>;

// A character that is no valid UTF-8 becomes "?".
TWide Utf8ToWide(std::string_view s);

// `utf8` is scratch space for the way through UTF-8; a caller that converts
// many texts passes the same one each time. A lone surrogate becomes "?".
void AppendWideAsSjis(std::string& out, const SQLWCHAR* w, size_t n, std::string& utf8);
void AppendWideAsSjis(std::string& out, const SQLWCHAR* w, size_t n);

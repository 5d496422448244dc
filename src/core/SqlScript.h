#pragma once
// The two passes over the edit area's lines before a run: blank script
// remark lines (REM/REMARK), then tell a query from any other statement.
// Keyword tests are byte-wise on the upper-cased line and never look inside
// a double-byte character.

#include "core/StrUtil.h"

void BlankRemarks(TStrings& lines);
bool IsQuery(const TStrings& lines);

#pragma once
// A result set's owner for tests: keeps the cells in a map, the column names
// in row 0 (as the main window's grid header does), and resets the cells when
// the column count changes.

#include <map>
#include <string>
#include <utility>

#include "core/SqlInfo.h"

struct TCellStore {
  std::map<std::pair<int, int>, std::string> cells;  // (col, row)
  int setCalls = 0;

  explicit TCellStore(TSqlInfo& info) {
    info.OnGetCell = [this](TSqlInfo&, int c, int r) { return Get(c, r); };
    info.OnSetCell = [this](TSqlInfo&, int c, int r, std::string_view t) {
      ++setCalls;
      cells[{c, r}] = std::string(t);
    };
    info.OnColName = [this](TSqlInfo& s, int i) { cells[{i + 1, 0}] = s.ColName(i); };
    info.OnColCount = [this](TSqlInfo&) { cells.clear(); };
  }

  std::string Get(int c, int r) const {
    auto it = cells.find({c, r});
    return it == cells.end() ? std::string() : it->second;
  }
  bool Has(int c, int r) const { return cells.count({c, r}) != 0; }
};

// Defines `names.size()` columns of the given type code and size.
inline void DefineColumns(TSqlInfo& info, std::initializer_list<std::string> names, int typeCode = 1, int size = 10) {
  info.SetColCount(static_cast<int>(names.size()));
  int i = 0;
  for (const auto& n : names) {
    info.SetColName(i, n);
    info.DefineColumn(i++, typeCode, size, 0, 0);
  }
}

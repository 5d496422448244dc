#pragma once
// An engine whose result cells land in a map, for tests that run statements
// and look at what arrived. By default it talks to the real session router,
// with its embedded default database in a temporary directory of its own.

#include <map>
#include <string>
#include <utility>

#include "core/Sjis.h"
#include "core/SqlManager.h"
#include "support/TempDir.h"

class TEngineProbe {
 public:
  explicit TEngineProbe(TSqlManager::TSessionFactory factory = {})
      : engine(factory ? std::move(factory) : [this] { return CreateSession(dir.File("default.db")); }) {
    info.OnSetCell = [this](TSqlInfo&, int c, int r, std::string_view t) { cells[{c, r}] = std::string(t); };
    engine.SqlInfo = &info;
  }

  int FetchAll() {
    int n = 0;
    while (engine.FetchRow()) ++n;
    return n;
  }
  // "<none>" for a cell that was never written.
  std::string Cell(int c, int r) const {
    auto it = cells.find({c, r});
    return it == cells.end() ? "<none>" : it->second;
  }
  std::string ErrUtf8() const { return SjisToUtf8(engine.ErrText); }

  TTempDir dir;
  TSqlInfo info;
  TSqlManager engine;
  std::map<std::pair<int, int>, std::string> cells;
};

#pragma once
// The round-trip property shared by the CSV and XML targets: a result set
// made of the fuzzer's cells is saved, loaded back, and every cell must come
// back with its line breaks as CR LF and nothing else changed.

#include <functional>

#include "FuzzSupport.h"
#include "storage/CellStore.h"

// The first byte chooses the column count (1 to 8), the rest are the pieces:
// `names` of them become column names when given, the others the cells, row
// by row; a last, incomplete row is filled with empty cells. `nameOf` gives
// the name of column i when the file cannot carry arbitrary names.
inline void CheckRoundTrip(const uint8_t* data, size_t size, const std::string& path, bool namesFromInput,
                           const std::function<void(TSqlInfo&, const std::string&)>& save,
                           const std::function<void(TSqlInfo&, const std::string&)>& load) {
  if (size == 0) return;
  const int cols = 1 + data[0] % 8;
  std::vector<std::string> pieces = Pieces(data + 1, size - 1);

  TSqlInfo out;
  TCellStore written(out);
  out.SetStatus("OK");  // an empty status would end the XML load early, by design
  out.SetColCount(cols);
  size_t next = 0;
  for (int c = 0; c < cols; ++c) {
    std::string name = namesFromInput && next < pieces.size() ? pieces[next++] : "N" + std::to_string(c + 1);
    out.SetColName(c, name);
    out.DefineColumn(c, 1, 10, 0, 0);
  }
  const int rows = static_cast<int>((pieces.size() - next + static_cast<size_t>(cols) - 1) / static_cast<size_t>(cols));
  out.SetRowPos(rows);
  out.SetRowCount(rows);
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) out.SetCell(c, r, next < pieces.size() ? pieces[next++] : std::string());
  save(out, path);

  TSqlInfo in;
  TCellStore read(in);
  load(in, path);
  FUZZ_CHECK(in.ColCount() == cols);
  FUZZ_CHECK(in.RowPos() == rows);
  for (int c = 0; c < cols; ++c) FUZZ_CHECK(in.ColName(c) == CrLf(out.ColName(c)));
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= cols; ++c) {
      if (read.Get(c, r) != CrLf(written.Get(c, r))) {
        std::fprintf(stderr, "cell %d,%d differs\n", c, r);
        std::abort();
      }
    }
}

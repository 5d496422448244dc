#pragma once
// The rows of a query that the engine will read, held by a backend from the
// opening on: each cell's text in cp932 (or a date-time's value), a few
// bytes of overhead per cell, in blocks that are freed as they are read.
// So a backend can read a result once, count it, and be done with the
// statement before the engine reads the first row.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/Session.h"

class TKeptRows {
 public:
  explicit TKeptRows(size_t columns) : columns_(columns) {}

  long long Rows() const { return rows_; }

  // A row is its cells in column order, then EndRow.
  void AddText(std::string_view cp932) {
    TBlock& b = Open();
    b.Bytes.append(cp932);
    End(b, TValueKind::Text);
  }
  void AddDate(TDateTime value) {
    TBlock& b = Open();
    b.Bytes.append(reinterpret_cast<const char*>(&value), sizeof value);
    End(b, TValueKind::DateTime);
  }
  void AddNull() { End(Open(), TValueKind::Null); }
  void EndRow();

  // Makes row `row` (from 0; rows are read in order, once they are all
  // kept) the one Cell reads.
  // The blocks before it are freed.
  void Seek(long long row);
  // A cell of that row (Null before the first Seek); its text views the
  // kept bytes until the next Seek. Read for every fetched cell.
  TFieldValue Cell(size_t column) const {
    TFieldValue v;
    if (column >= rowCells_) return v;
    const uint32_t begin = column == 0 ? rowStart_ : rowEnds_[column - 1];
    v.Kind = static_cast<TValueKind>(rowKinds_[column]);
    if (v.Kind == TValueKind::Text)
      v.Text = std::string_view(bytes_ + begin, rowEnds_[column] - begin);
    else if (v.Kind == TValueKind::DateTime)
      std::memcpy(&v.Date, bytes_ + begin, sizeof v.Date);
    return v;
  }

 private:
  static constexpr size_t kBlockRows = 4096, kBlockBytes = 64 << 20;
  struct TBlock {
    std::string Bytes;
    std::vector<uint32_t> Ends;  // each cell's end in Bytes
    std::vector<unsigned char> Kinds;
  };
  TBlock& Open();
  static void End(TBlock& b, TValueKind kind) {
    b.Ends.push_back(static_cast<uint32_t>(b.Bytes.size()));
    b.Kinds.push_back(static_cast<unsigned char>(kind));
  }

  size_t columns_;
  long long rows_ = 0;
  bool full_ = true;  // the next row starts a block
  std::vector<TBlock> blocks_;
  std::vector<long long> starts_;  // each block's first row
  size_t current_ = 0;
  // The sought row: its cells' ends and kinds, where its first cell begins,
  // the bytes of its block, and how many of its cells are kept.
  const uint32_t* rowEnds_ = nullptr;
  const unsigned char* rowKinds_ = nullptr;
  uint32_t rowStart_ = 0;
  const char* bytes_ = nullptr;
  size_t rowCells_ = 0;
};

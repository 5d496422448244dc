#pragma once
// The text store of a string grid. A million-row result must not cost a heap
// string per cell, so each row is one packed record in a chunked arena:
//   uint16 cell count n, uint16 flags (offset width),
//   n end offsets (uint16, or uint32 once the row's text exceeds 64 KiB),
//   the texts of the n cells back to back.
// Cells past a row's n are empty; a row that never got a text has no record.
// Rewriting a row builds a new record; the record on top of the arena (the
// row being filled) is replaced in place, others leave garbage that is
// reclaimed by compacting once it outweighs the live bytes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TCellStore {
 public:
  TCellStore() = default;
  TCellStore(const TCellStore&) = delete;
  TCellStore& operator=(const TCellStore&) = delete;

  int RowCount() const { return static_cast<int>(rows_.size()); }
  // Growing adds empty rows; shrinking drops the removed rows' texts.
  void SetRowCount(int n);
  // Drops the texts of columns >= n in every row.
  void TruncateCols(int n);

  // The text of a cell; empty for a cell outside the store. The view stays
  // valid until the next change of the store.
  std::string_view Get(int col, int row) const;
  // Ignored for a negative column or a row outside the store.
  void Set(int col, int row, std::string_view text);
  void Clear();

  // Bytes held: arena chunks (live and garbage) plus the row table.
  size_t AllocatedBytes() const;
  size_t LiveBytes() const { return live_; }

 private:
  struct TChunk {
    std::unique_ptr<char[]> Data;
    size_t Size = 0;
    size_t Used = 0;
  };

  static size_t RecordSize(const char* rec);
  char* Allocate(size_t size);
  bool IsTop(const char* rec) const;
  void Release(const char* rec);
  void MaybeCompact();
  void Compact();

  std::vector<char*> rows_;
  std::vector<TChunk> chunks_;
  std::vector<char> scratch_;
  size_t live_ = 0;
  size_t garbage_ = 0;
};

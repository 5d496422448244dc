#pragma once
// The text store of a string grid. A million-row result must not cost a heap
// string per cell, so each row is one packed record in a chunked arena:
//   uint16 header (cell count n, index width),
//   n index entries: one length byte per cell while every cell is shorter
//   than 256 bytes, else uint16 end offsets, or uint32 once the row's text
//   exceeds 64 KiB,
//   the texts of the n cells back to back.
// Rows hold at most 16383 cells; later columns read as empty.
// Cells past a row's n are empty; a row that never got a text has no record.
// The row being written is held open (unpacked) so that filling it cell by
// cell costs O(1) per cell; it is packed when another row is written or the
// shape of the store changes. Rewriting a packed row leaves its old record
// as garbage (unless it is on top of the arena), reclaimed by compacting
// once garbage outweighs the live bytes.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TCellStore {
 public:
  static constexpr size_t kMaxCells = 0x3FFF;  // cells a row holds

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
  // The texts of a row's stored cells, first to last, read in one pass (Get
  // walks the row from its start for every cell); cells past the last are
  // empty. The views stay valid until the next change of the store.
  void GetRow(int row, std::vector<std::string_view>& cells) const;
  // Ignored for a negative column or a row outside the store.
  void Set(int col, int row, std::string_view text) {
    // A fetched row: its cells arrive one after another into the open row.
    const auto c = static_cast<size_t>(col);
    if (row == open_ && row >= 0 && col >= 0 && c >= openEnds_.size() && c < kMaxCells && !text.empty() &&
        !InOpenText(text.data()) && openText_.size() + text.size() <= 0xFFFFFFFFu) {
      Append(c, text);
      return;
    }
    SetAny(col, row, text);
  }

  // Bytes held: arena chunks (live and garbage), the row table and the open
  // row. LiveBytes counts the packed records (the open row packed).
  size_t AllocatedBytes() const;
  size_t LiveBytes() const;

 private:
  struct TFree {
    void operator()(char* p) const;
  };
  struct TChunk {
    std::unique_ptr<char, TFree> Data;
    size_t Size = 0;
    size_t Used = 0;
  };

  void SetAny(int col, int row, std::string_view text);
  // Whether p points into the open row's buffer.
  bool InOpenText(const char* p) const {
    const std::less<const char*> before;
    return !before(p, openText_.data()) && before(p, openText_.data() + openText_.capacity());
  }
  // Writes a text after the open row's last cell (c at or past its end).
  void Append(size_t c, std::string_view text) {
    if (c > openEnds_.size()) openEnds_.resize(c, openEnds_.empty() ? 0 : openEnds_.back());
    openText_.append(text);
    openEnds_.push_back(static_cast<uint32_t>(openText_.size()));
  }
  static size_t RecordSize(const char* rec);
  static TChunk NewChunk(size_t size);
  char* Allocate(size_t size);
  bool IsTop(const char* rec) const;
  void Release(const char* rec);
  // Called after every change: only a store that holds no text, or more
  // garbage than text, has anything to do.
  void MaybeCompact() {
    if (live_ == 0 ? !chunks_.empty() || garbage_ != 0 : garbage_ > kCompactGarbage && garbage_ > live_)
      CompactIfWorthIt();
  }
  void CompactIfWorthIt();
  static constexpr size_t kCompactGarbage = size_t{2} << 20;
  void Compact();
  // Unpacks `row` into the open row (packing the previous one).
  void Open(int row);
  // Packs the open row back into the arena.
  void Flush();
  // Writes cell c of the open row.
  void Put(size_t c, std::string_view text);
  size_t OpenRecordSize() const;
  unsigned OpenMode() const;

  std::vector<char*> rows_;
  std::vector<TChunk> chunks_;
  int open_ = -1;
  std::string openText_;
  std::vector<uint32_t> openEnds_;
  std::string aliasCopy_;
  size_t live_ = 0;
  size_t garbage_ = 0;
};

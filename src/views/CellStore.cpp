#include "views/CellStore.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr size_t kHeader = 4;
constexpr size_t kChunkSize = size_t{1} << 20;
constexpr uint16_t kWide = 1;
constexpr size_t kMaxCells = 0xFFFF;

struct TRecordView {
  const char* Rec = nullptr;
  size_t Count = 0;
  bool Wide = false;

  explicit TRecordView(const char* rec) : Rec(rec) {
    if (!rec) return;
    uint16_t n, flags;
    std::memcpy(&n, rec, 2);
    std::memcpy(&flags, rec + 2, 2);
    Count = n;
    Wide = (flags & kWide) != 0;
  }
  size_t OffsetWidth() const { return Wide ? 4 : 2; }
  size_t End(size_t i) const {
    const char* p = Rec + kHeader + i * OffsetWidth();
    if (Wide) {
      uint32_t v;
      std::memcpy(&v, p, 4);
      return v;
    }
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
  }
  size_t TextBytes() const { return Count ? End(Count - 1) : 0; }
  size_t Size() const { return kHeader + Count * OffsetWidth() + TextBytes(); }
  std::string_view Cell(size_t i) const {
    if (i >= Count) return {};
    const size_t start = i ? End(i - 1) : 0;
    return {Rec + kHeader + Count * OffsetWidth() + start, End(i) - start};
  }
};

}  // namespace

size_t TCellStore::RecordSize(const char* rec) { return TRecordView(rec).Size(); }

void TCellStore::SetRowCount(int n) {
  n = std::max(n, 0);
  const auto count = static_cast<size_t>(n);
  // Newest rows first, so records on top of the arena are reclaimed at once.
  for (size_t r = rows_.size(); r > count; --r) Release(rows_[r - 1]);
  rows_.resize(count, nullptr);
  MaybeCompact();
}

void TCellStore::TruncateCols(int n) {
  n = std::max(n, 0);
  for (size_t r = 0; r < rows_.size(); ++r) {
    TRecordView v(rows_[r]);
    if (v.Count <= static_cast<size_t>(n)) continue;
    // Clearing the last cell first shrinks the record; cells past the count
    // read as empty, so clearing from the end down to n is enough.
    for (size_t c = v.Count; c > static_cast<size_t>(n); --c) Set(static_cast<int>(c - 1), static_cast<int>(r), {});
  }
}

std::string_view TCellStore::Get(int col, int row) const {
  if (col < 0 || row < 0 || static_cast<size_t>(row) >= rows_.size()) return {};
  return TRecordView(rows_[row]).Cell(static_cast<size_t>(col));
}

void TCellStore::Set(int col, int row, std::string_view text) {
  if (col < 0 || row < 0 || static_cast<size_t>(row) >= rows_.size()) return;
  const auto c = static_cast<size_t>(col);
  if (c >= kMaxCells) return;
  const TRecordView old(rows_[row]);
  if (c >= old.Count && text.empty()) return;  // already empty

  // Trailing empty cells are not stored.
  size_t count = std::max(old.Count, c + 1);
  while (count > 0 && (count - 1 == c ? text.empty() : old.Cell(count - 1).empty())) --count;

  size_t total = 0;
  for (size_t i = 0; i < count; ++i) total += (i == c) ? text.size() : old.Cell(i).size();
  if (total > 0xFFFFFFFFu) return;  // no cell store holds 4 GiB in one row
  const bool wide = total > 0xFFFF;
  const size_t ow = wide ? 4 : 2;
  const size_t size = kHeader + count * ow + total;

  if (count == 0) {
    Release(rows_[row]);
    rows_[row] = nullptr;
    MaybeCompact();
    return;
  }

  // Built aside first: `text` may point into this very record.
  scratch_.resize(size);
  char* out = scratch_.data();
  const auto n16 = static_cast<uint16_t>(count);
  const uint16_t flags = wide ? kWide : 0;
  std::memcpy(out, &n16, 2);
  std::memcpy(out + 2, &flags, 2);
  char* offsets = out + kHeader;
  char* texts = offsets + count * ow;
  size_t end = 0;
  for (size_t i = 0; i < count; ++i) {
    const std::string_view piece = (i == c) ? text : old.Cell(i);
    if (!piece.empty()) std::memcpy(texts + end, piece.data(), piece.size());
    end += piece.size();
    if (wide) {
      const auto v = static_cast<uint32_t>(end);
      std::memcpy(offsets + i * 4, &v, 4);
    } else {
      const auto v = static_cast<uint16_t>(end);
      std::memcpy(offsets + i * 2, &v, 2);
    }
  }

  Release(rows_[row]);
  char* rec = Allocate(size);
  std::memcpy(rec, out, size);
  live_ += size;
  rows_[row] = rec;
  MaybeCompact();
}

void TCellStore::Clear() {
  std::fill(rows_.begin(), rows_.end(), nullptr);
  chunks_.clear();
  live_ = garbage_ = 0;
}

size_t TCellStore::AllocatedBytes() const {
  size_t bytes = rows_.capacity() * sizeof(char*);
  for (const TChunk& ch : chunks_) bytes += ch.Size;
  return bytes;
}

bool TCellStore::IsTop(const char* rec) const {
  if (chunks_.empty()) return false;
  const TChunk& last = chunks_.back();
  const size_t size = RecordSize(rec);
  return last.Used >= size && rec == last.Data.get() + (last.Used - size);
}

void TCellStore::Release(const char* rec) {
  if (!rec) return;
  const size_t size = RecordSize(rec);
  live_ -= size;
  if (IsTop(rec))
    chunks_.back().Used -= size;
  else
    garbage_ += size;
  if (live_ == 0) {
    // Nothing left: start over rather than keep empty chunks.
    chunks_.clear();
    garbage_ = 0;
  }
}

char* TCellStore::Allocate(size_t size) {
  if (chunks_.empty() || chunks_.back().Size - chunks_.back().Used < size) {
    TChunk ch;
    ch.Size = std::max(kChunkSize, size);
    ch.Data.reset(new char[ch.Size]);
    chunks_.push_back(std::move(ch));
  }
  TChunk& last = chunks_.back();
  char* p = last.Data.get() + last.Used;
  last.Used += size;
  return p;
}

void TCellStore::MaybeCompact() {
  if (garbage_ > kChunkSize && garbage_ > live_) Compact();
}

void TCellStore::Compact() {
  std::vector<TChunk> old;
  old.swap(chunks_);
  garbage_ = 0;
  if (live_ == 0) {
    std::fill(rows_.begin(), rows_.end(), nullptr);
    return;
  }
  TChunk ch;
  ch.Size = live_ + kChunkSize;
  ch.Data.reset(new char[ch.Size]);
  chunks_.push_back(std::move(ch));
  for (char*& rec : rows_) {
    if (!rec) continue;
    const size_t size = RecordSize(rec);
    char* p = Allocate(size);
    std::memcpy(p, rec, size);
    rec = p;
  }
}

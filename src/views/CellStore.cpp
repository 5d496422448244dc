#include "views/CellStore.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <new>

namespace {

// Record header: the cell count in the low 14 bits, the size mode above.
// Mode 0 keeps one length byte per cell (every cell under 256 bytes, the
// common case), mode 1 uint16 end offsets, mode 2 uint32 end offsets.
constexpr size_t kHeader = 2;
// Chunks are heap blocks below malloc's mmap threshold, so a result reuses
// the memory that the result before it, or a backend's rows read just
// before, gave back: a million rows fill some 70 MB of arena, and fresh
// pages cost more than packing the rows (fresh huge pages on a virtual
// machine measured up to five times more than small ones).
constexpr size_t kChunkSize = size_t{64} << 10;

constexpr size_t IndexWidth(unsigned mode) { return mode == 0 ? 1 : mode == 1 ? 2 : 4; }

struct TRecordView {
  const char* Rec = nullptr;
  size_t Count = 0;
  unsigned Mode = 0;

  explicit TRecordView(const char* rec) : Rec(rec) {
    if (!rec) return;
    uint16_t h;
    std::memcpy(&h, rec, 2);
    Count = h & TCellStore::kMaxCells;
    Mode = h >> 14;
  }
  const char* Texts() const { return Rec + kHeader + Count * IndexWidth(Mode); }
  // End offset of cell i.
  size_t End(size_t i) const {
    const char* p = Rec + kHeader;
    if (Mode == 0) {
      size_t end = 0;
      for (size_t k = 0; k <= i; ++k) end += static_cast<unsigned char>(p[k]);
      return end;
    }
    if (Mode == 1) {
      uint16_t v;
      std::memcpy(&v, p + i * 2, 2);
      return v;
    }
    uint32_t v;
    std::memcpy(&v, p + i * 4, 4);
    return v;
  }
  size_t TextBytes() const { return Count ? End(Count - 1) : 0; }
  size_t Size() const { return kHeader + Count * IndexWidth(Mode) + TextBytes(); }
  std::string_view Cell(size_t i) const {
    if (i >= Count) return {};
    if (Mode == 0) {
      const auto* len = reinterpret_cast<const unsigned char*>(Rec + kHeader);
      size_t start = 0;
      for (size_t k = 0; k < i; ++k) start += len[k];
      return {Texts() + start, len[i]};
    }
    const size_t start = i ? End(i - 1) : 0;
    return {Texts() + start, End(i) - start};
  }
};

}  // namespace

size_t TCellStore::RecordSize(const char* rec) { return TRecordView(rec).Size(); }

void TCellStore::SetRowCount(int n) {
  n = std::max(n, 0);
  const auto count = static_cast<size_t>(n);
  if (count < rows_.size()) Flush();
  if (count < rows_.size() / 2) {
    // Most rows go (a new result clears a million): move the few that stay
    // into fresh chunks instead of releasing every record that goes.
    rows_.resize(count);
    live_ = 0;
    for (const char* rec : rows_)
      if (rec) live_ += RecordSize(rec);
    Compact();
    return;
  }
  if (count == rows_.size() + 1) {
    rows_.push_back(nullptr);  // a fetched row: the common case
    return;
  }
  // Newest rows first, so records on top of the arena are reclaimed at once.
  for (size_t r = rows_.size(); r > count; --r) Release(rows_[r - 1]);
  rows_.resize(count, nullptr);
  MaybeCompact();
}

void TCellStore::TruncateCols(int n) {
  n = std::max(n, 0);
  for (size_t r = 0; r < rows_.size(); ++r) {
    const auto row = static_cast<int>(r);
    if (row != open_ && TRecordView(rows_[r]).Count <= static_cast<size_t>(n)) continue;
    Open(row);
    if (openEnds_.size() > static_cast<size_t>(n)) {
      openEnds_.resize(static_cast<size_t>(n));
      openText_.resize(openEnds_.empty() ? 0 : openEnds_.back());
    }
  }
  Flush();
  MaybeCompact();
}

std::string_view TCellStore::Get(int col, int row) const {
  if (col < 0 || row < 0 || static_cast<size_t>(row) >= rows_.size()) return {};
  const auto c = static_cast<size_t>(col);
  if (row == open_) {
    if (c >= openEnds_.size()) return {};
    const size_t start = c ? openEnds_[c - 1] : 0;
    return std::string_view(openText_).substr(start, openEnds_[c] - start);
  }
  return TRecordView(rows_[row]).Cell(c);
}

void TCellStore::GetRow(int row, std::vector<std::string_view>& cells) const {
  cells.clear();
  if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return;
  if (row == open_) {
    uint32_t start = 0;
    for (uint32_t end : openEnds_) {
      cells.push_back(std::string_view(openText_).substr(start, end - start));
      start = end;
    }
    return;
  }
  const TRecordView v(rows_[row]);
  const char* text = v.Texts();
  size_t start = 0;
  for (size_t i = 0; i < v.Count; ++i) {
    const size_t end = v.Mode == 0 ? start + static_cast<unsigned char>(v.Rec[kHeader + i]) : v.End(i);
    cells.push_back({text + start, end - start});
    start = end;
  }
}

void TCellStore::SetAny(int col, int row, std::string_view text) {
  if (col < 0 || row < 0 || static_cast<size_t>(row) >= rows_.size()) return;
  const auto c = static_cast<size_t>(col);
  if (c >= kMaxCells) return;
  if (row != open_ && text.empty() && c >= TRecordView(rows_[row]).Count) return;  // already empty
  // A text taken from the open row must survive that row being replaced or
  // packed. Texts from packed rows stay put: records move only when
  // compacting, which waits until the text has been copied.
  if (InOpenText(text.data())) {
    aliasCopy_.assign(text);
    text = aliasCopy_;
  }
  Open(row);
  Put(c, text);
  MaybeCompact();
}

void TCellStore::Put(size_t c, std::string_view text) {
  if (c >= openEnds_.size()) {
    if (text.empty()) return;
    if (openText_.size() + text.size() > 0xFFFFFFFFu) return;  // no row holds 4 GiB
    Append(c, text);
    return;
  }
  const size_t start = c ? openEnds_[c - 1] : 0, old = openEnds_[c] - start;
  if (openText_.size() - old + text.size() > 0xFFFFFFFFu) return;
  openText_.replace(start, old, text);
  const auto delta = static_cast<int64_t>(text.size()) - static_cast<int64_t>(old);
  for (size_t i = c; i < openEnds_.size(); ++i)
    openEnds_[i] = static_cast<uint32_t>(static_cast<int64_t>(openEnds_[i]) + delta);
  // Trailing empty cells are not kept.
  while (!openEnds_.empty() &&
         openEnds_.back() == (openEnds_.size() > 1 ? openEnds_[openEnds_.size() - 2] : 0))
    openEnds_.pop_back();
}

void TCellStore::Open(int row) {
  if (row == open_) return;
  Flush();
  if (!rows_[row]) {  // a row without text yet: every fetched row
    openText_.clear();
    openEnds_.clear();
    open_ = row;
    return;
  }
  const TRecordView v(rows_[row]);
  openText_.clear();
  openEnds_.clear();
  for (size_t i = 0; i < v.Count; ++i) {
    openText_.append(v.Cell(i));
    openEnds_.push_back(static_cast<uint32_t>(openText_.size()));
  }
  Release(rows_[row]);
  rows_[row] = nullptr;
  open_ = row;
}

unsigned TCellStore::OpenMode() const {
  if (openText_.size() <= 0xFF) return 0;  // no cell can be longer: most rows
  if (openText_.size() > 0xFFFF) return 2;
  uint32_t prev = 0;
  for (uint32_t end : openEnds_) {
    if (end - prev > 0xFF) return 1;
    prev = end;
  }
  return 0;
}

size_t TCellStore::OpenRecordSize() const {
  if (open_ < 0 || openEnds_.empty()) return 0;
  return kHeader + openEnds_.size() * IndexWidth(OpenMode()) + openText_.size();
}

void TCellStore::Flush() {
  if (open_ < 0) return;
  const int row = open_;
  open_ = -1;
  if (openEnds_.empty() || static_cast<size_t>(row) >= rows_.size()) return;
  const unsigned mode = OpenMode();
  const size_t n = openEnds_.size(), iw = IndexWidth(mode);
  const size_t size = kHeader + n * iw + openText_.size();
  char* rec = Allocate(size);
  const auto header = static_cast<uint16_t>(n | (mode << 14));
  std::memcpy(rec, &header, 2);
  char* index = rec + kHeader;
  uint32_t prev = 0;
  for (size_t i = 0; i < n; ++i) {
    const uint32_t end = openEnds_[i];
    if (mode == 0) {
      index[i] = static_cast<char>(static_cast<unsigned char>(end - prev));
    } else if (mode == 1) {
      const auto v = static_cast<uint16_t>(end);
      std::memcpy(index + i * 2, &v, 2);
    } else {
      std::memcpy(index + i * 4, &end, 4);
    }
    prev = end;
  }
  if (!openText_.empty()) std::memcpy(index + n * iw, openText_.data(), openText_.size());
  live_ += size;
  rows_[row] = rec;
}

size_t TCellStore::LiveBytes() const { return live_ + OpenRecordSize(); }

size_t TCellStore::AllocatedBytes() const {
  size_t bytes = rows_.capacity() * sizeof(char*) + openText_.capacity() +
                 openEnds_.capacity() * sizeof(uint32_t);
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
}

void TCellStore::TFree::operator()(char* p) const { std::free(p); }

TCellStore::TChunk TCellStore::NewChunk(size_t size) {
  TChunk ch;
  ch.Size = size;
  ch.Data.reset(static_cast<char*>(std::malloc(size)));
  if (!ch.Data) throw std::bad_alloc();
  return ch;
}

char* TCellStore::Allocate(size_t size) {
  if (chunks_.empty() || chunks_.back().Size - chunks_.back().Used < size) {
    chunks_.push_back(NewChunk(std::max(kChunkSize, size)));
  }
  TChunk& last = chunks_.back();
  char* p = last.Data.get() + last.Used;
  last.Used += size;
  return p;
}

void TCellStore::CompactIfWorthIt() {
  if (live_ == 0) {
    // Nothing packed is left: start over rather than keep empty chunks.
    chunks_.clear();
    garbage_ = 0;
  } else if (garbage_ > kCompactGarbage && garbage_ > live_) {
    Compact();
  }
}

void TCellStore::Compact() {
  std::vector<TChunk> old;
  old.swap(chunks_);
  garbage_ = 0;
  if (live_ == 0) return;
  chunks_.push_back(NewChunk(std::max(live_, kChunkSize)));
  for (char*& rec : rows_) {
    if (!rec) continue;
    const size_t size = RecordSize(rec);
    char* p = Allocate(size);
    std::memcpy(p, rec, size);
    rec = p;
  }
}

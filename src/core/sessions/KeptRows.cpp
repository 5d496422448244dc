#include "core/sessions/KeptRows.h"

#include <algorithm>

TKeptRows::TBlock& TKeptRows::Open() {
  if (full_) {
    // A block is about as large as the one before it.
    const size_t reserve = blocks_.empty() ? 0 : blocks_.back().Bytes.size();
    blocks_.emplace_back();
    blocks_.back().Bytes.reserve(reserve);
    starts_.push_back(rows_);
    full_ = false;
  }
  return blocks_.back();
}

void TKeptRows::EndRow() {
  if (columns_ == 0) {  // rows without columns (PostgreSQL has them) are only counted
    ++rows_;
    return;
  }
  TBlock& b = Open();
  ++rows_;
  full_ = b.Kinds.size() >= kBlockRows * columns_ || b.Bytes.size() >= kBlockBytes;
}

void TKeptRows::Seek(long long row) {
  rowCells_ = 0;
  if (columns_ == 0 || blocks_.empty() || row < 0) return;
  while (current_ + 1 < blocks_.size() && row >= starts_[current_ + 1]) {
    blocks_[current_] = TBlock{};  // a block read is not needed again
    ++current_;
  }
  if (row < starts_[current_]) return;  // a row before the ones kept
  const TBlock& b = blocks_[current_];
  const size_t at = static_cast<size_t>(row - starts_[current_]) * columns_;
  if (at >= b.Kinds.size()) return;
  rowEnds_ = b.Ends.data() + at;
  rowKinds_ = b.Kinds.data() + at;
  rowStart_ = at == 0 ? 0 : b.Ends[at - 1];
  bytes_ = b.Bytes.data();
  rowCells_ = std::min(columns_, b.Kinds.size() - at);
}

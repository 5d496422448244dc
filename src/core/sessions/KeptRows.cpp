#include "core/sessions/KeptRows.h"

#include <cstring>

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
  if (columns_ == 0 || blocks_.empty()) return;
  while (current_ + 1 < blocks_.size() && row >= starts_[current_ + 1]) {
    blocks_[current_] = TBlock{};  // a block read is not needed again
    ++current_;
  }
  at_ = static_cast<size_t>(row - starts_[current_]) * columns_;
}

TFieldValue TKeptRows::Cell(size_t column) const {
  TFieldValue v;
  if (column >= columns_ || current_ >= blocks_.size()) return v;
  const TBlock& b = blocks_[current_];
  const size_t i = at_ + column;
  if (i >= b.Kinds.size()) return v;
  const size_t begin = i == 0 ? 0 : b.Ends[i - 1];
  v.Kind = static_cast<TValueKind>(b.Kinds[i]);
  if (v.Kind == TValueKind::DateTime)
    std::memcpy(&v.Date, b.Bytes.data() + begin, sizeof v.Date);
  else if (v.Kind == TValueKind::Text)
    v.Text = std::string_view(b.Bytes).substr(begin, b.Ends[i] - begin);
  return v;
}

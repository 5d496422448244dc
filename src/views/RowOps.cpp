#include "views/RowOps.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <string>

#include "core/SqlInfo.h"

TCellTable::TCellTable(TSqlInfo& info) : info_(info), store_(std::make_unique<TCellStore>()) {
  Resize();
  info_.OnColCount = [this](TSqlInfo&) { Resize(); };
  info_.OnRowCount = [this](TSqlInfo&) { Resize(); };
  info_.OnGetCell = [this](TSqlInfo&, int col, int row) { return std::string(Text(col, row)); };
  info_.OnSetCell = [this](TSqlInfo&, int col, int row, std::string_view text) { SetText(col, row, text); };
}

TCellTable::~TCellTable() {
  info_.OnColCount = nullptr;
  info_.OnRowCount = nullptr;
  info_.OnGetCell = nullptr;
  info_.OnSetCell = nullptr;
}

void TCellTable::Resize() {
  // Rows first: dropping rows is cheaper than cutting columns out of them.
  store_->SetRowCount(std::max(info_.RowCount(), 0) + 1);
  store_->TruncateCols(info_.ColCount() + 1);
}

void TCellTable::Reset() {
  store_ = std::make_unique<TCellStore>();
  Resize();
}

void TCellTable::SetText(int col, int row, std::string_view text) {
  if (col < 0 || col > info_.ColCount() || row < 0) return;
  if (row >= store_->RowCount()) store_->SetRowCount(row + 1);
  store_->Set(col, row, text);
}

void TCellTable::Permute(int first, const std::vector<int>& order) {
  const int rows = store_->RowCount();
  const int cols = info_.ColCount();
  const int last = first + static_cast<int>(order.size()) - 1;
  auto moved = std::make_unique<TCellStore>();
  moved->SetRowCount(rows);
  for (int r = 0; r < rows; ++r) {
    const int from = r >= first && r <= last ? order[static_cast<size_t>(r - first)] : r;
    // Column 0 belongs to the position, as the grid's row numbers do.
    moved->Set(0, r, store_->Get(0, r));
    for (int c = 1; c <= cols; ++c) moved->Set(c, r, store_->Get(c, from));
  }
  store_ = std::move(moved);
}

int CompareRows(const TCellTable& a, int rowA, const TCellTable& b, int rowB, const TKeyList& keys) {
  if (rowA < 0 && rowB > 0) return 1;
  if (rowA > 0 && rowB < 0) return -1;
  for (int key : keys) {
    const int col = std::abs(key);
    // char_traits<char> compares as unsigned bytes, a shorter prefix first.
    const int cmp = a.Text(col, rowA).compare(b.Text(col, rowB));
    if (cmp != 0) return (cmp < 0) == (key > 0) ? -1 : 1;
  }
  return 0;
}

namespace {

// The first seven bytes of a text, big-endian, above min(length, 8). Two of
// them compare as numbers exactly as their texts do, except when they are
// equal with 8 in the low byte: both texts are longer than seven bytes and
// alike so far, and only their whole texts can tell.
uint64_t PrefixKey(std::string_view text) {
  uint64_t key = 0;
  for (size_t i = 0; i < 7; ++i) key = key << 8 | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
  return key << 8 | std::min<size_t>(text.size(), 8);
}

}  // namespace

void SortRows(TCellTable& r, int first, int last, const TKeyList& keys) {
  // Row 0 holds the column names.
  first = std::max(first, 1);
  last = std::min(last, r.Rows() - 1);
  if (last - first < 1 || keys.empty()) return;
  // The key prefixes side by side, so that most comparisons need no look
  // at the rows themselves.
  const size_t count = static_cast<size_t>(last - first + 1), width = keys.size();
  std::vector<uint64_t> prefix(count * width);
  for (size_t i = 0; i < count; ++i)
    for (size_t k = 0; k < width; ++k)
      prefix[i * width + k] = PrefixKey(r.Text(std::abs(keys[k]), first + static_cast<int>(i)));
  std::vector<int> order(count);
  std::iota(order.begin(), order.end(), 0);
  auto less = [&](int x, int y) {
    const uint64_t* a = &prefix[static_cast<size_t>(x) * width];
    const uint64_t* b = &prefix[static_cast<size_t>(y) * width];
    for (size_t k = 0; k < width; ++k) {
      int cmp = a[k] < b[k] ? -1 : a[k] > b[k] ? 1 : 0;
      if (cmp == 0 && (a[k] & 0xFF) == 8) {
        const int col = std::abs(keys[k]);
        cmp = r.Text(col, first + x).compare(r.Text(col, first + y));
      }
      if (cmp != 0) return (cmp < 0) == (keys[k] > 0);
    }
    return false;
  };
  std::stable_sort(order.begin(), order.end(), less);
  bool moved = false;
  for (size_t i = 0; i < count && !moved; ++i) moved = order[i] != static_cast<int>(i);
  if (!moved) return;
  for (int& row : order) row += first;
  r.Permute(first, order);
}

void ExchangeRows(TCellTable& r, int row1, int row2) {
  if (row1 == row2) return;
  const int cols = r.Info().ColCount();
  for (int c = 1; c <= cols; ++c) {
    std::string a(r.Text(c, row1));
    std::string b(r.Text(c, row2));
    r.SetText(c, row1, b);
    r.SetText(c, row2, a);
  }
}

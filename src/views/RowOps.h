#pragma once
// The private cell table of a working result set (the sort dialog's copy, the
// compare wizard's source and target) and the row operations on it: row
// comparison by a key list, the row sort and the row exchange. No Qt here.
//
// Texts are cp932 bytes and compare byte by byte as unsigned values, a
// shorter prefix first; nothing is read as a number or a date, so "10" sorts
// before "9" and the empty text before every other.

#include <memory>
#include <string_view>
#include <vector>

#include "views/CellStore.h"

class TSqlInfo;

// Signed grid column numbers (result column k is k + 1), in priority order; a
// negative number sorts that column descending.
using TKeyList = std::vector<int>;

// Answers a result set's OnColCount, OnRowCount, OnGetCell and OnSetCell from
// a table of texts indexed by column 0 .. ColCount and row 0 .. RowCount. A
// count change keeps the texts whose positions remain. A write to a row past
// RowCount grows the table instead of being lost, so a result whose reported
// row count is short of its rows (a damaged file) keeps every row.
//
// The result set must outlive the table; the table unhooks itself when
// destroyed.
class TCellTable {
 public:
  explicit TCellTable(TSqlInfo& info);
  ~TCellTable();
  TCellTable(const TCellTable&) = delete;
  TCellTable& operator=(const TCellTable&) = delete;

  TSqlInfo& Info() { return info_; }
  const TSqlInfo& Info() const { return info_; }

  // Drops every text; the table keeps the result set's counts.
  void Reset();
  // Rows held: RowCount + 1, or more after writes past it.
  int Rows() const { return store_->RowCount(); }

  // Empty outside the table. Valid until the next change of the table.
  std::string_view Text(int col, int row) const { return store_->Get(col, row); }
  // Ignored outside columns 0 .. ColCount or for a negative row.
  void SetText(int col, int row, std::string_view text);

  // Reorders rows first .. first + order.size() - 1 so that row first + i
  // holds what row order[i] held (order is a permutation of that range).
  // Every text moves once.
  void Permute(int first, const std::vector<int>& order);

 private:
  void Resize();

  TSqlInfo& info_;
  std::unique_ptr<TCellStore> store_;
};

// Orders row rowA of a against row rowB of b: -1, 0 or +1. A negative row is
// a missing one and sorts after any present row. Keys are compared in order;
// an empty key list makes every pair equal.
int CompareRows(const TCellTable& a, int rowA, const TCellTable& b, int rowB, const TKeyList& keys);

// Sorts rows first .. last of r by keys. Rows equal in every key keep their
// order. A range of fewer than two rows is left as it is.
void SortRows(TCellTable& r, int first, int last, const TKeyList& keys);

// Swaps the texts of two rows in every column 1 .. ColCount.
void ExchangeRows(TCellTable& r, int row1, int row2);

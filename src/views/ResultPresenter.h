#pragma once
// TResultPresenter lays the main result set out in the main grid: it answers
// the result set's grid-side events (column count, names, alignments, rows,
// cells) and the grid's own events (focus, clicks, keys). The main window
// owns one and adds the status-bar side through the After... callbacks and
// its own handlers of the remaining result-set events.
//
// The result set keeps no cells: SetCell stores into the grid and GetCell
// reads from it. Options are read through the provider each time a handler
// runs, so a change in the options dialog shows with the next result.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "storage/Options.h"

class TSqlGrid;
class TSqlInfo;

class TResultPresenter {
 public:
  // The settings the grid side reads (colours, heading orientation and
  // wrap). The reference must outlive the handler that asked for it; while
  // the provider is empty the defaults are used.
  using TOptionsProvider = std::function<const TOptions&()>;

  // Both objects must outlive the presenter. Nothing is wired until Install.
  TResultPresenter(TSqlInfo& info, TSqlGrid& grid, TOptionsProvider options);
  TResultPresenter(const TResultPresenter&) = delete;
  TResultPresenter& operator=(const TResultPresenter&) = delete;

  // Assigns the result set's OnColCount, OnColName, OnColAlign, OnRowMax,
  // OnSetCell and OnGetCell, and the grid's OnEnter, OnExit, OnClick,
  // OnDblClick and OnKeyDown. Sets the grid's EmptyText.
  void Install();

  // Callbacks the owner sets (each may stay empty):
  // the main window's current column and row (0, 0 when there is no data
  // cell); called on reset, on a new column count and on every OnClick.
  std::function<void(int col, int row)> OnCurrentCell;
  // Show the current cell (the cell-viewer command); double-click and Enter.
  std::function<void()> OnViewCell;
  // Status-bar side, called after the grid side of the same event.
  std::function<void()> AfterColCount;
  std::function<void()> AfterRowMax;

  // The handlers themselves, for owners that wire events on their own.
  void ColCountChanged();
  void ColNameChanged(int index);
  void ColAlignChanged(int index);
  void RowMaxChanged();
  void SetCell(int col, int row, std::string_view text);
  std::string GetCell(int col, int row) const;
  void GridEnter();
  void GridExit();
  void GridClick();
  void GridDblClick();
  void GridKeyDown(int& key, int modifiers);

  // The six heading alignment buttons (Top, Center, Bottom; Left, Center,
  // Right): set the fixed row's alignment and repaint.
  void VaTop();
  void VaCenter();
  void VaBottom();
  void HaLeft();
  void HaCenter();
  void HaRight();

  // The corner cell's text while the grid does not have the focus.
  static constexpr const char* kCornerText = "Alt + G";

 private:
  const TOptions& Options() const;

  TSqlInfo& info_;
  TSqlGrid& grid_;
  TOptionsProvider options_;
};

// "結　果　表　示　領　域" in cp932: the main grid's EmptyText.
std::string ResultEmptyText();

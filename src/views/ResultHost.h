#pragma once
// What the dialogs that rebuild the main result (sort, compare) need of the
// program around them: the main result set and its grid, the desktop, and
// the few main-window operations they perform. The shell implements it.

#include <QString>
#include <chrono>
#include <string>
#include <string_view>

#include "core/StrUtil.h"

class TPlatform;
class TSqlGrid;
class TSqlInfo;

class TResultHost {
 public:
  virtual ~TResultHost() = default;

  virtual TPlatform& Platform() = 0;
  // The title of the program's message boxes.
  virtual QString Title() = 0;

  // The main result set; its cells live in the main grid.
  virtual TSqlInfo& MainInfo() = 0;
  virtual TSqlGrid& MainGrid() = 0;
  // Empties the edit area and the main result, forgets the file path, and
  // lets the cleared window paint.
  virtual void New() = 0;
  // The status message (cp932).
  virtual void SetStatusMsg(std::string_view sjis) = 0;
  // The edit area's text as lines (cp932), and its replacement.
  virtual TStrings SqlLines() = 0;
  virtual void SetSqlLines(const TStrings& lines) = 0;
  // Lets the main window repaint now.
  virtual void Refresh() = 0;
  // Gives the main grid the focus when it can take it.
  virtual void FocusGrid() = 0;

  // The busy state with the hourglass cursor, and its end.
  virtual void BeginBusy() = 0;
  virtual void EndBusy() = 0;
  // Lets every pending window message be handled.
  virtual void ProcessMessages() = 0;

  // The run history: the most runs kept (MaxLog), the history dialog's list
  // (its table, whose row I shows run I), the runs themselves (1-based, or
  // nullptr), and the loading of a run's result rows from its file.
  virtual int MaxLog() = 0;
  virtual TSqlGrid& HistoryTable() = 0;
  virtual int RunCount() = 0;
  virtual TSqlInfo* RunAt(int index) = 0;
  virtual bool LoadHistoryCsv(TSqlInfo& info) = 0;
};

// Lets pending window messages through at most once per slice of long work,
// so the window repaints without the messages costing more than the work.
class TMessagePump {
 public:
  explicit TMessagePump(TResultHost& host) : host_(host), next_(Clock::now() + kSlice) {}
  void Tick() {
    if (Clock::now() < next_) return;
    host_.ProcessMessages();
    next_ = Clock::now() + kSlice;
  }

 private:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kSlice{10};
  TResultHost& host_;
  Clock::time_point next_;
};

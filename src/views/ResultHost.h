#pragma once
// What the dialogs that rebuild the main result (sort, compare) need of the
// program around them: what the history dialog needs (the main window's
// result, busy state and texts), and further the desktop, the edit area's
// text and the history list. The shell implements it.

#include <QString>
#include <chrono>

#include "core/StrUtil.h"
#include "views/LogDialog.h"

class TPlatform;

class TResultHost : public TLogHost {
 public:
  virtual TPlatform& Platform() = 0;
  // The title of the program's message boxes.
  virtual QString Title() = 0;
  // The edit area's text as lines (cp932).
  virtual TStrings SqlLines() = 0;
  // Lets every pending window message be handled.
  virtual void ProcessMessages() = 0;
  // The history list.
  virtual const TfrmLog& History() = 0;
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

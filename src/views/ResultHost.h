#pragma once
// What the dialogs that rebuild the main result (sort, compare) need of the
// program around them: what the history dialog needs (the main window's
// result, busy state and texts), and further an error box and a file
// chooser, the edit area's text and the history list. The shell implements
// it.

#include <QString>
#include <chrono>

#include "core/StrUtil.h"
#include "views/FileDialogSpec.h"
#include "views/LogDialog.h"

class TResultHost : public TLogHost {
 public:
  // An error message box with a single OK button; returns when it is closed.
  virtual void ErrorBox(const QString& title, const QString& text) = 0;
  // The file open dialog. False when the user cancels; spec and fileName
  // are then unchanged.
  virtual bool OpenFileDialog(TFileDialogSpec& spec, QString& fileName) = 0;
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

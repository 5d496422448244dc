#pragma once
// The desktop's ways of ending the program: the session's end (the
// commit-data request) and the signals SIGTERM, SIGHUP and SIGINT. Each
// closes the main window as 終了 does, so a run is stopped first, a connected
// session is disconnected (favourites and history written) and the settings
// are written at the end, instead of the process dying with them unsaved.

#include <QObject>
#include <QTimer>

class QSocketNotifier;
class TApp;

class TSessionEnd : public QObject {
 public:
  // Follows the session's end from now on; app may not have started yet.
  explicit TSessionEnd(TApp& app);
  ~TSessionEnd() override;
  TSessionEnd(const TSessionEnd&) = delete;
  TSessionEnd& operator=(const TSessionEnd&) = delete;

  // Turns the three signals into close requests until this object is
  // destroyed, which puts the previous handlers back. One object per process
  // may do this; false when the signals could not be caught.
  bool CatchSignals();

  // Closes the main window as soon as nothing stands in the way: an open
  // modal dialog is cancelled first, and work in the busy state (a connect,
  // a file being read) is let finish. A run in progress is stopped by the
  // close itself. Does nothing once the window has closed.
  void RequestClose();

 private:
  void ReadSignals();

  TApp& app_;
  QTimer retry_;
  QSocketNotifier* notifier_ = nullptr;
  bool catching_ = false;
};

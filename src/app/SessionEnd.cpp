#include "app/SessionEnd.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QSessionManager>
#include <QSocketNotifier>
#include <cerrno>
#include <iterator>

#include "app/App.h"
#include "app/MainWindow.h"

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The handler only writes the signal's number into the pipe; the event loop
// reads it and does the work.
int signalPipe[2] = {-1, -1};
struct sigaction previous[sizeof kSignals / sizeof kSignals[0]];

void OnSignal(int number) {
  const int saved = errno;
  const char byte = static_cast<char>(number);
  [[maybe_unused]] ssize_t written = write(signalPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

TSessionEnd::TSessionEnd(TApp& app) : app_(app) {
  retry_.setSingleShot(true);
  retry_.setInterval(50);
  connect(&retry_, &QTimer::timeout, this, &TSessionEnd::RequestClose);
  // The session manager waits for this handler; the close happens in it
  // unless a run or a dialog has to end first.
  connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { RequestClose(); },
          Qt::DirectConnection);
}

TSessionEnd::~TSessionEnd() {
  if (!catching_) return;
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &previous[i], nullptr);
  delete notifier_;
  close(signalPipe[0]);
  close(signalPipe[1]);
  signalPipe[0] = signalPipe[1] = -1;
}

bool TSessionEnd::CatchSignals() {
  if (catching_ || signalPipe[0] >= 0) return catching_;
  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    signalPipe[0] = signalPipe[1] = -1;
    return false;
  }
  notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TSessionEnd::ReadSignals);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &previous[i]);
  catching_ = true;
  return true;
}

void TSessionEnd::ReadSignals() {
  char bytes[16];
  while (read(signalPipe[0], bytes, sizeof bytes) > 0) {
  }
  RequestClose();
}

void TSessionEnd::RequestClose() {
  // A modal dialog runs a loop of its own inside some command: end it and
  // come back once that command has returned.
  if (QWidget* modal = QApplication::activeModalWidget()) {
    if (auto* dialog = qobject_cast<QDialog*>(modal))
      dialog->reject();
    else
      modal->close();
    retry_.start();
    return;
  }
  if (!app_.Started()) return;  // before the windows, or after the end
  TfrmMain& main = app_.Main();
  if (main.IsClosed()) return;
  main.SessionEnding = true;
  if (main.IsProcessing()) {
    retry_.start();
    return;
  }
  main.close();
}

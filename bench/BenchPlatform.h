#pragma once
// The desktop the benchmarks run on: the real one, except that nothing waits
// for a person. Error boxes go to stderr and are counted, the file dialogs
// take the next queued answer (cancelled when none is left), and a modal
// dialog runs OnModal (accepted without one).

#include <QDialog>
#include <QString>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "app/QtPlatform.h"

class TBenchPlatform : public TPlatform {
 public:
  explicit TBenchPlatform(std::string lockDir) : qt_(std::move(lockDir)) {}

  void ErrorBox(const QString& title, const QString& text) override {
    std::fprintf(stderr, "error box: %s: %s\n", title.toUtf8().constData(), text.toUtf8().constData());
    ++errors;
  }
  bool AskYesNo(const QString&, const QString&, bool) override { return false; }
  TAnswer AskYesNoCancel(const QString&, const QString&) override { return TAnswer::No; }
  bool OpenFileDialog(TFileDialogSpec&, QString& fileName) override { return Answer(fileName); }
  bool SaveFileDialog(TFileDialogSpec&, QString& fileName) override { return Answer(fileName); }
  bool PickColor(QColor&) override { return false; }
  bool PickFolder(const QString&, QString&) override { return false; }
  bool ClipboardHasText() override { return qt_.ClipboardHasText(); }
  QString ClipboardText() override { return qt_.ClipboardText(); }
  void SetClipboardText(const QString& text) override { qt_.SetClipboardText(text); }
  void ShowHelp(const QString&) override {}
  void ProcessMessages() override { qt_.ProcessMessages(); }
  TCursor Cursor() const override { return qt_.Cursor(); }
  void SetCursor(TCursor cursor) override { qt_.SetCursor(cursor); }
  int ExecModal(QDialog& dialog) override { return OnModal ? OnModal(dialog) : int(QDialog::Accepted); }
  TLockResult LockInstance(const std::string& name, std::unique_ptr<TInstanceLock>& lock) override {
    return qt_.LockInstance(name, lock);
  }
  bool OtherInstanceRuns(const std::string& name) override { return qt_.OtherInstanceRuns(name); }

  std::deque<QString> answers;
  std::function<int(QDialog&)> OnModal;
  int errors = 0;

 private:
  bool Answer(QString& fileName) {
    if (answers.empty()) return false;
    fileName = answers.front();
    answers.pop_front();
    return true;
  }
  TQtPlatform qt_;
};

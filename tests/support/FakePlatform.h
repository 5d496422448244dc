#pragma once
// A desktop for widget tests: message boxes are recorded instead of shown,
// dialogs are answered from a script, a modal dialog runs a test callback
// instead of exec(), and the clipboard is a string. The instance lock is the
// real one, in a directory the test chooses.

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Platform.h"
#include "support/FakeKeyring.h"

class TFakePlatform final : public TPlatform {
 public:
  // lockDir: where instance locks are taken (a temporary directory).
  explicit TFakePlatform(std::string lockDir) : lockDir_(std::move(lockDir)) {}

  struct TMessage {
    QString Title;
    QString Text;
    bool YesByDefault = false;  // a question's default button
  };
  // Every error box, in order.
  std::vector<TMessage> Messages;
  QString LastMessage() const { return Messages.empty() ? QString() : Messages.back().Text; }
  // Every question, in order; each takes the first answer (none left: No).
  std::vector<TMessage> Questions;
  std::deque<bool> YesNoAnswers;
  // Answers to the three-way questions (recorded in Questions too); with
  // none left the box is cancelled.
  std::deque<TAnswer> ThreeWayAnswers;

  // Modal dialogs: each ExecModal takes the first callback, which may look at
  // and fill the dialog and returns its result; with none left the dialog is
  // cancelled. ModalLog holds the dialogs' object names.
  using TModalAnswer = std::function<int(QDialog&)>;
  std::deque<TModalAnswer> ModalScript;
  std::vector<QString> ModalLog;

  // File dialogs: each call takes the first answer (nullopt: cancelled; none
  // left: cancelled). The specs they were opened with are kept. As the real
  // dialog does, an answer without an extension gets the default one, and
  // an answered dialog takes the first of FilterAnswers as the chosen filter
  // (none left: the filter stays).
  std::deque<std::optional<QString>> FileAnswers;
  std::deque<int> FilterAnswers;
  std::vector<TFileDialogSpec> FileDialogLog;
  std::deque<std::optional<QColor>> ColourAnswers;
  std::deque<std::optional<QString>> FolderAnswers;
  // The colours the colour pickers started from, the folder pickers' titles.
  std::vector<QColor> ColourLog;
  std::vector<QString> FolderLog;

  std::optional<QString> Clipboard;
  std::vector<QString> HelpShown;

  // ProcessMessages handles real pending events, then calls this hook.
  int ProcessCount = 0;
  std::function<void()> OnProcessMessages;

  std::vector<TCursor> CursorLog;

  TFakeKeyring FakeKeyring;

  void ErrorBox(const QString& title, const QString& text) override { Messages.push_back({title, text}); }
  bool AskYesNo(const QString& title, const QString& text, bool yesByDefault) override;
  TAnswer AskYesNoCancel(const QString& title, const QString& text) override;
  bool OpenFileDialog(TFileDialogSpec& spec, QString& fileName) override { return FileDialog(spec, fileName); }
  bool SaveFileDialog(TFileDialogSpec& spec, QString& fileName) override { return FileDialog(spec, fileName); }
  bool PickColor(QColor& colour) override;
  bool PickFolder(const QString& title, QString& dir) override;
  bool ClipboardHasText() override { return Clipboard.has_value(); }
  QString ClipboardText() override { return Clipboard.value_or(QString()); }
  void SetClipboardText(const QString& text) override { Clipboard = text; }
  void ShowHelp(const QString& helpFile) override { HelpShown.push_back(helpFile); }
  void ProcessMessages() override;
  TCursor Cursor() const override { return cursor_; }
  void SetCursor(TCursor cursor) override {
    cursor_ = cursor;
    CursorLog.push_back(cursor);
  }
  int ExecModal(QDialog& dialog) override;
  TLockResult LockInstance(const std::string& name, std::unique_ptr<TInstanceLock>& lock) override;
  bool OtherInstanceRuns(const std::string& name) override;
  TKeyring& Keyring() override { return FakeKeyring; }

 private:
  bool FileDialog(TFileDialogSpec& spec, QString& fileName);

  std::string lockDir_;
  TCursor cursor_ = TCursor::Default;
};

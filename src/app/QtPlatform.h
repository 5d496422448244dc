#pragma once
// The desktop through Qt. The only place that opens message boxes, standard
// dialogs and the clipboard.

#include <QPointer>
#include <memory>

#include "app/Platform.h"

class QTextBrowser;
class TQtKeyring;

class TQtPlatform final : public TPlatform {
 public:
  // lockDir: where the single-instance lock files live.
  explicit TQtPlatform(std::string lockDir);
  ~TQtPlatform() override;
  TQtPlatform(const TQtPlatform&) = delete;
  TQtPlatform& operator=(const TQtPlatform&) = delete;

  void ErrorBox(const QString& title, const QString& text) override;
  bool AskYesNo(const QString& title, const QString& text, bool yesByDefault) override;
  TAnswer AskYesNoCancel(const QString& title, const QString& text) override;
  bool OpenFileDialog(TFileDialogSpec& spec, QString& fileName) override;
  bool SaveFileDialog(TFileDialogSpec& spec, QString& fileName) override;
  bool PickColor(QColor& colour) override;
  bool PickFolder(const QString& title, QString& dir) override;
  bool ClipboardHasText() override;
  QString ClipboardText() override;
  void SetClipboardText(const QString& text) override;
  void ShowHelp(const QString& helpFile) override;
  void ProcessMessages() override;
  TCursor Cursor() const override { return cursor_; }
  void SetCursor(TCursor cursor) override;
  int ExecModal(QDialog& dialog) override;
  TLockResult LockInstance(const std::string& name, std::unique_ptr<TInstanceLock>& lock) override;
  bool OtherInstanceRuns(const std::string& name) override;
  TKeyring& Keyring() override;

 private:
  bool FileDialog(TFileDialogSpec& spec, QString& fileName, bool save);

  std::string lockDir_;
  TCursor cursor_ = TCursor::Default;
  QPointer<QTextBrowser> help_;
  std::unique_ptr<TQtKeyring> keyring_;  // made on first use
};

#pragma once
// TPlatform is the one seam between the shell and the desktop: message boxes,
// the standard dialogs, the clipboard, the help viewer, the event loop, the
// busy cursors, modal dialogs and the single-instance lock all go through it.
// TQtPlatform is the real one; tests use a fake that records and scripts.
// Every text crossing this interface is a QString (Unicode); callers convert
// from and to cp932 at their side.

#include <QColor>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>

#include "views/FileDialogSpec.h"

class QDialog;
class TKeyring;

// The screen cursor. The values are the cursor codes the busy state uses.
enum class TCursor : int {
  Default = 0,
  HourGlass = -11,  // wait: the window takes no input meanwhile
  AppStart = -19,   // busy but usable: a run that can be stopped
};

// The held single-instance lock; released when destroyed (or by the kernel
// when the process dies).
class TInstanceLock {
 public:
  virtual ~TInstanceLock() = default;
};

enum class TLockResult {
  Acquired,      // this process now holds the lock
  HeldElsewhere, // another instance holds it
  Failed,        // the lock could not be made; run without it, and say so
};

class TPlatform {
 public:
  virtual ~TPlatform() = default;

  // An error message box with a single OK button; returns when it is closed.
  virtual void ErrorBox(const QString& title, const QString& text) = 0;
  // A question with Yes and No buttons; true for Yes. Closing the box
  // answers No; Enter takes No too unless yesByDefault (a question whose
  // hasty No would throw something away).
  virtual bool AskYesNo(const QString& title, const QString& text, bool yesByDefault = false) = 0;
  // A question with Yes, No and Cancel buttons. Closing the box answers
  // Cancel; Enter takes Yes.
  enum class TAnswer { Yes, No, Cancel };
  virtual TAnswer AskYesNoCancel(const QString& title, const QString& text) = 0;

  // Standard dialogs. False when the user cancels; spec and fileName are
  // then unchanged.
  virtual bool OpenFileDialog(TFileDialogSpec& spec, QString& fileName) = 0;
  virtual bool SaveFileDialog(TFileDialogSpec& spec, QString& fileName) = 0;
  virtual bool PickColor(QColor& colour) = 0;
  virtual bool PickFolder(const QString& title, QString& dir) = 0;

  // Plain-text clipboard.
  virtual bool ClipboardHasText() = 0;
  virtual QString ClipboardText() = 0;
  virtual void SetClipboardText(const QString& text) = 0;

  // Opens the help file at its table of contents.
  virtual void ShowHelp(const QString& helpFile) = 0;

  // Lets every pending window message be handled, then returns.
  virtual void ProcessMessages() = 0;

  virtual TCursor Cursor() const = 0;
  virtual void SetCursor(TCursor cursor) = 0;

  // Runs dialog modally; returns its result code (QDialog::Accepted/Rejected).
  virtual int ExecModal(QDialog& dialog) = 0;

  // Takes the lock named name. On Acquired, lock holds it.
  virtual TLockResult LockInstance(const std::string& name, std::unique_ptr<TInstanceLock>& lock) = 0;
  // Whether an instance under another name than `name` runs for this user
  // (it may share the history folder and not have indexed its runs yet).
  virtual bool OtherInstanceRuns(const std::string& name) = 0;

  // The desktop's password store; by default there is none.
  virtual TKeyring& Keyring();
};

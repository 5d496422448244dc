#pragma once
// TmodAction: every user command as a QAction with a category, a caption, a
// two-part hint ("short|long"), an optional shortcut, an enable rule and an
// effect. Menus, buttons and shortcuts all go through Execute, which checks
// the rule again first, so a disabled command never runs. UpdateActions
// evaluates every rule; it also runs whenever the event loop goes idle.
//
// Shortcuts are not registered with Qt: the main window's key preview asks
// ShortcutCommand for the first enabled command bound to a key and lets the
// key through to the focused control when that command is disabled.

#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>
#include <vector>

#include "app/FileCommands.h"
#include "app/Platform.h"

class QAction;
class TApp;

enum class TCategory { File, Edit, View, Run, Freq, Other, Help };

class TmodAction : public QObject {
  Q_OBJECT

 public:
  explicit TmodAction(TApp& app);
  ~TmodAction() override;

  struct TCommand {
    QAction* Action = nullptr;
    TCategory Category = TCategory::Other;
    QString Caption;  // with "&" before the mnemonic letter
    QString Hint;     // "short|long"
    QKeySequence ShortCut;
    QList<QKeySequence> MoreShortCuts;  // further keys for the same command
    std::function<bool()> Rule;
    std::function<void()> Effect;
  };

  // Runs the command's effect when its rule allows it now.
  void Execute(QAction* action);
  // Evaluates every rule now.
  void UpdateActions();
  // Evaluates one rule now and returns it.
  bool Update(QAction* action);

  // The command bound to a key press, or nullptr. Only a key that is some
  // command's shortcut gives a command; enabled tells whether it may run.
  QAction* ShortcutCommand(const QKeySequence& key, bool& enabled);

  const std::vector<TCommand>& Commands() const { return commands_; }
  const TCommand* Find(const QAction* action) const;

  // Sets the status message "エラーが発生しました" and shows message (cp932 or
  // Unicode) in an error box.
  void ReportError(const QString& message);

  // The filter of SaveResultDialog that writes a CSV file in UTF-8. It comes
  // after the filters the open dialog shares, so the pair's indexes still
  // agree; the settings keep it as the Shift_JIS CSV filter.
  static constexpr int kUtf8CsvFilter = 4;
  // The Excel workbook filter after it, kept the same way.
  static constexpr int kXlsxFilter = 5;
  // The four file dialogs, keeping their directory and filter between uses.
  TFileDialogSpec OpenSqlDialog, SaveSqlDialog, OpenResultDialog, SaveResultDialog;
  // The SQL file the edit area belongs to, as the file commands left it.
  TSqlFileMemo SqlFile;

  // The commands, under their names.
  QAction *actConnect, *actDisConnect, *actNew, *actOpen, *actSave, *actSaveAs, *actImport,
      *actExport, *actExit;
  QAction *actUndo, *actCut, *actCopy, *actPaste, *actDelete, *actSelectAll, *actFixedRowCopy,
      *actCellCopy, *actWhereCopy, *actTableCopy, *actInCopy;
  QAction *actFind, *actFindNext, *actFindPrev, *actReplace;
  QAction *actViewGrid, *actViewCell, *actRecordView, *actTableList;
  QAction *actStart, *actStop, *actRunCaret, *actRunScript;
  QAction *actAutoCommit, *actCommit, *actRollback;
  QAction *actFreqAdd, *actFreqGet, *actFreqDel, *actFreqUp, *actFreqDown;
  QAction *actLog, *actDiff, *actSort, *actOption;
  QAction *actOpenHelp, *actAbout;

 private:
  QAction* Add(const char* name, TCategory category, const char* caption, const char* hint,
               QKeySequence shortcut, std::function<bool()> rule, std::function<void()> effect);
  void CreateCommands();
  void AddShortCut(QAction* action, QKeySequence key);
  void CreateFileDialogs();
  // Evaluates command's rule and sets its action's enable state.
  bool Apply(const TCommand& command);

  // Rule helpers over the main window's flags.
  bool Allowed() const;
  bool Idle() const;
  bool EditFocused() const;
  bool EditHasSelection() const;

  // Effects that live here.
  void EditExecute(QAction* action);
  void ViewGridExecute();
  void ViewCellExecute();

  TApp& app_;
  std::vector<TCommand> commands_;
  QMetaObject::Connection idle_;
  bool gridOnly_ = false;
};

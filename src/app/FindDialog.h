#pragma once
// TfrmFind: the non-modal find and replace dialog over the main window. It
// searches the SQL edit or, when the result grid has (or last had) the
// focus, the cells of the result, row by row from the current cell. A found
// text is selected in the edit; a found cell becomes the grid's current cell.
// Wrapping past either end, and finding nothing, are said in the status
// message. Replacing works in the edit only; replace all is one undo step.
//
// The dialog belongs to the main window, made on first use and kept, so its
// texts and options stay for the next search (F3 with the dialog closed).
// Its buttons go through the find commands, so their enable rules hold.

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class TApp;
struct TFindOptions;

class TfrmFind : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmFind(TApp& app);

  // Shows the dialog with the find text selected. The target follows the
  // focus the main window had; replace chooses the edit.
  void Open(bool replace);
  // The next (previous) match in the target from the selection or the
  // current cell. False when nothing was found.
  bool FindNext(bool forward);
  // Replaces the selected match in the edit, then finds the next one.
  void Replace();
  // Replaces every match in the edit as one undo step; returns how many.
  int ReplaceAll();
  bool TargetIsGrid() const;
  // The target becomes whichever of the edit and the grid has the main
  // window's focus (neither: it stays).
  void FollowFocus();

  QLineEdit *edtFind, *edtReplace;
  QCheckBox *chkCase, *chkWord, *chkWrap;
  QRadioButton *rdoSql, *rdoGrid;
  QPushButton *btnFindNext, *btnFindPrev, *btnReplace, *btnReplaceAll, *btnClose;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  TFindOptions Options() const;
  bool FindInSql(bool forward);
  bool FindInGrid(bool forward);
  void UpdateButtons();
  void SetMessage(const char* utf8);

  TApp& app_;
  bool placed_ = false;
};

// The commands' effects. The dialog is made on first use.
void FindExecute(TApp& app);
void ReplaceExecute(TApp& app);
// With no find text yet this opens the dialog instead.
void FindNextExecute(TApp& app, bool forward);

#pragma once
// TfrmOption holds the settings for the whole process and lets the user
// change them. It reads the settings file when it is created at start-up
// (applying the window layout to the windows that exist by then) and writes
// it when it is destroyed at the end; in between, confirming the dialog
// changes the settings in memory only.
//
// Three pages: the connection defaults, the history (whose change rewrites
// the history under the old settings and reads it again under the new), and
// the result grid's heading layout and colours.

#include <QDialog>
#include <QFrame>
#include <array>

#include "storage/Options.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;
class TApp;
class TRadioGroup;
class TUpDown;

// A colour swatch: shows one encoded colour (system colours included).
class TColorShape : public QFrame {
 public:
  explicit TColorShape(QWidget* parent = nullptr);
  TColor Color() const { return color_; }
  void SetColor(TColor color);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  TColor color_ = clWhite;
};

class TfrmOption : public QDialog {
 public:
  explicit TfrmOption(TApp& app);
  // Collects the layout from the windows and writes the settings file; a
  // failure is shown in an error box and the program ends all the same.
  ~TfrmOption() override;

  TOptions& Options() { return file_.Options; }
  // The layout as read; every window's part is collected anew at the end.
  TOptionLayout& Layout() { return file_.Layout; }

  // The options command: fills the controls from the settings and shows the
  // dialog modally on the page shown last.
  void Execute();

  // Handlers, callable as the controls call them.
  void FormActivate();
  void btnOkClick();
  void btnLogPathRefClick();
  void btnColorClick(QPushButton* button);
  // Whether the user may leave page index (connection 0, history 1, grid 2);
  // a refusal has shown its message and the page.
  bool pagOptionChanging(int index);

  // Controls, under their control names.
  QLabel* lblComment;
  QTabWidget* pagOption;
  QWidget *tabConnect, *tabLog, *tabGrid;
  QLineEdit *edtUser, *edtPassword, *edtHost;
  TRadioGroup *rdoLog, *rdoLogPath;
  QLineEdit* edtLogPath;
  QPushButton* btnLogPathRef;
  QLineEdit* edtMaxLog;
  TUpDown* updMaxLog;
  TRadioGroup* rdoOrientation;
  QLineEdit* edtWordwrap;
  TUpDown* updWordwrap;
  TColorShape *shpFixedRowsForeColor, *shpFixedRowsBackColor, *shpNormalLineForeColor, *shpNormalLineBackColor,
      *shpBoldLineForeColor, *shpBoldLineBackColor;
  QPushButton *btnFixedRowsForeColor, *btnFixedRowsBackColor, *btnNormalLineForeColor, *btnNormalLineBackColor,
      *btnBoldLineForeColor, *btnBoldLineBackColor;
  QPushButton* btnOk;
  QPushButton* btnCancel;

 private:
  QWidget* CreateConnectPage();
  QWidget* CreateLogPage();
  QWidget* CreateGridPage();
  // The swatches in the order of the six colour settings.
  std::array<TColorShape*, 6> Shapes() const;
  std::array<TColor*, 6> StoredColors();

  void ApplyEnableRules();
  // Shows a page from the program (the leave rule does not apply).
  void ShowPage(QWidget* page);
  void PageChanged(int index);
  // The checks: a failure shows its page, focuses the edit and shows the
  // message.
  bool CheckInteger(QLineEdit& edit, const TUpDown& upDown, QWidget* page);
  bool CheckDirectory();
  bool CheckLogPage();
  bool CheckGridPage();
  void Refuse(QWidget* page, QLineEdit& edit, const QString& message);

  TApp& app_;
  TOptionFile file_;
  int shownPage_ = 0;         // the page the user is on, for the leave rule
  bool programPage_ = false;  // the program is switching pages
};

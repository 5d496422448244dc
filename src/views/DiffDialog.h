#pragma once
// TfrmDiff: the compare wizard. Page 0 takes the source, page 1 the target
// (each a CSV or XML result file or a run from the history), page 2 the key
// columns; OK writes the comparison into the main result, three rows per
// step: the source row, the target row and a mark row.
//
// The source and target are working results of the wizard with cell tables
// of their own; they stay loaded until they are loaded again. Created once;
// Prepare before every showing starts on page 0 with the file options.

#include <QDialog>
#include <vector>

#include "core/SqlInfo.h"
#include "views/FileDialogSpec.h"
#include "views/KeyLists.h"
#include "views/RowOps.h"

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class TResultHost;
class TSqlGrid;

class TfrmDiff : public QDialog {
 public:
  // host must outlive the wizard.
  TfrmDiff(TResultHost& host, QWidget* parent);
  ~TfrmDiff() override;

  // Before every showing: file options selected, file edits and key lists
  // emptied, page 0 entered.
  void Prepare();
  // What stopped the last comparison (out of memory and the like); empty
  // when it ran through.
  const QString& Error() const { return error_; }
  int Page() const;
  // Rules of the page commands, and the default button with them.
  void UpdateActions();

  // The result file chooser of both pages; keeps its directory and filter.
  TFileDialogSpec FileDialog;

  QStackedWidget* pagDiff;
  QWidget *tabDiff0, *tabDiff1, *tabDiff2;
  QLabel *lblDiff0, *lblDiff1, *lblDiff2;
  QRadioButton *rdoSourceIsFile, *rdoSourceIsLog, *rdoTargetIsFile, *rdoTargetIsLog;
  QLineEdit *edtSourceIsFile, *edtTargetIsFile;
  QPushButton *btnSourceIsFile, *btnTargetIsFile;
  TSqlGrid *grdSourceIsLog, *grdTargetIsLog;
  TKeyLists* keys;
  QPushButton *btnPrev, *btnNext, *btnOk, *btnCancel;
  QAction *actPrev, *actNext, *actOk, *actCancel;

  // The working results, for a look from outside.
  const TSqlInfo& Source() const { return source_; }
  const TSqlInfo& Target() const { return target_; }

 private:
  // One side's controls.
  struct TSide {
    QRadioButton* IsFile;
    QRadioButton* IsLog;
    QLineEdit* Edit;
    QPushButton* Browse;
    TSqlGrid* List;
    TSqlInfo* Info;
    TCellTable* Table;
  };
  QWidget* CreatePage(int page, const char* caption, TSide& side, const char* sideName);
  QWidget* CreateKeyPage();
  void SideClick(const TSide& side);
  void Browse(const TSide& side);
  void Focus(const TSide& side);
  void EnterPage0();
  void EnterPage1();
  void EnterPage2();
  void FillHistory(TSqlGrid& list);
  // The runs as rows of a history list; none: the empty, disabled list.
  void ShowRuns(TSqlGrid& list, const std::vector<const TSqlInfo*>& runs);
  bool Load(const TSide& side);
  bool LoadSource();
  bool LoadTarget();
  void Next();
  void Prev();
  void Compare();
  void CompareSteps();
  void ShowError(const char* utf8);

  TResultHost& host_;
  TSqlInfo source_, target_;
  TCellTable sourceTable_{source_}, targetTable_{target_};
  TSide sourceSide_{}, targetSide_{};
  QString error_;
};

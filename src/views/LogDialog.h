#pragma once
// TfrmLog holds the history list, one table row per past run (oldest first),
// and brings a chosen run back into the main window: its SQL text alone, or
// with its rows from the run's CSV file.
//
// Each run is the list's own cell-less copy of a result set. The history
// store fills the list (AddRun, ClearRuns); the compare wizard reads it
// (RunCount, RunAt) and lays its own run tables out with LayOutRunTable and
// FillRunRow.

#include <QDialog>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/SqlInfo.h"
#include "core/StrUtil.h"

class QGroupBox;
class QPushButton;
class QRadioButton;
class TSqlGrid;

// What the dialog needs of the program around it. Implemented by the shell.
class TLogHost {
 public:
  virtual ~TLogHost() = default;
  // The most runs a written history keeps (the marks on opening).
  virtual int MaxLog() = 0;
  // The history directory, a native path ending with "/", as the options
  // stand now.
  virtual std::string LogDir() = 0;
  // The busy state with the hourglass cursor.
  virtual void BeginBusy() = 0;
  virtual void EndBusy() = 0;
  // The main window: emptied (edit area, result, file name).
  virtual void NewMain() = 0;
  // The main window's result set; its cells live in the main grid.
  virtual TSqlInfo& MainResult() = 0;
  // The edit area receives these lines as one update.
  virtual void SetSqlLines(const TStrings& lines) = 0;
  virtual void SetStatusMsg(std::string_view sjis) = 0;
  // Repaints the main window now (status bar included).
  virtual void RefreshMain() = 0;
  // The main grid takes the focus when it can.
  virtual void FocusMainGrid() = 0;
};

// The ten columns of a run table: headers, alignments, widths. The grid is
// left with two rows and enabled.
void LayOutRunTable(TSqlGrid& grid);
// Row `row` of a run table: its number in column 0 and the run's figures and
// first SQL line in columns 1 to 9.
void FillRunRow(TSqlGrid& grid, int row, const TSqlInfo& run);
// "履　歴　が　存　在　し　ま　せ　ん" in cp932.
std::string LogEmptyText();

class TfrmLog : public QDialog {
 public:
  TfrmLog(QWidget* parent, std::unique_ptr<TLogHost> host);
  ~TfrmLog() override;

  // Appends a copy of `run` as the newest run. The first run after the list
  // was empty lays the table out.
  void AddRun(const TSqlInfo& run);
  // Releases every run: table of two columns and two rows, disabled, as are
  // btnOk and rdoOption.
  void ClearRuns();
  int RunCount() const { return static_cast<int>(runs_.size()); }
  // Position 1..RunCount; nullptr outside.
  const TSqlInfo* RunAt(int index) const;

  // Before the dialog is shown: the runs the next history write drops are
  // marked "削除" in red, the others numbered from the first kept run; the
  // table takes the focus when it can.
  void PrepareOpen();
  // btnOk and a double-click on the table: brings the current row's run back
  // and closes the dialog. A row without a run does nothing.
  void Restore();

  TSqlGrid* grdLog = nullptr;
  QGroupBox* rdoOption = nullptr;
  QRadioButton* rdoSqlOnly = nullptr;
  QRadioButton* rdoWithResult = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;

 private:
  void EnableList(bool on);

  std::unique_ptr<TLogHost> host_;
  std::vector<std::unique_ptr<TSqlInfo>> runs_;
};

#pragma once
// TfrmSort: the sort dialog. The user picks key columns of the main result
// (each ascending, or descending when ticked); OK rebuilds the main result in
// that order from a working copy the dialog owns, with its own cell table.
//
// Created once and reused: Prepare before every showing starts with no keys.
// The working copy keeps the texts of the last sort until the next one.

#include <QDialog>
#include <memory>

#include "core/SqlInfo.h"
#include "views/KeyLists.h"
#include "views/RowOps.h"

class QAction;
class QLabel;
class QPushButton;
class TResultHost;

class TfrmSort : public QDialog {
 public:
  // host must outlive the dialog.
  TfrmSort(TResultHost& host, QWidget* parent);
  ~TfrmSort() override;

  // Before every showing: both lists emptied, lstCols filled with the main
  // result's columns, its first item selected.
  void Prepare();
  // What stopped the last sort (out of memory and the like), for the caller
  // to report; empty when it ran through.
  const QString& Error() const { return error_; }

  // Rules of every command of the dialog, applied now.
  void UpdateActions();

  QLabel* lblSort;
  TKeyLists* keys;
  QPushButton *btnOk, *btnCancel;
  QAction *actOk, *actCancel;

 private:
  void Sort();
  void SortSteps();

  TResultHost& host_;
  TSqlInfo work_;
  TCellTable table_{work_};
  QString error_;
};

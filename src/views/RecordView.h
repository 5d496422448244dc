#pragma once
// TfrmRecordView shows one row of a result as a list of column name and
// value, for results wider than the screen, and steps through the rows with
// 前へ and 次へ. Values are shown whole, wrapped, and read-only; the copy
// button (and Ctrl+C) copies the selected lines, or the whole row, as
// "name<TAB>value" lines through the clipboard function it is given.
// It reads the cells through the result set at each step and keeps none.

#include <QDialog>
#include <functional>

class QLabel;
class QPushButton;
class QTableWidget;
class TSqlInfo;

class TfrmRecordView : public QDialog {
 public:
  TfrmRecordView(TSqlInfo& info, std::function<void(const QString&)> setClipboard, QWidget* parent = nullptr);

  // Shows data row row (1 to the rows the result holds), clamped into range.
  void ShowRow(int row);
  int Row() const { return row_; }
  // The text the copy button puts on the clipboard now.
  QString CopyText() const;

  // Controls, under their control names.
  QTableWidget* grdRecord;
  QLabel* lblRow;
  QPushButton *btnPrior, *btnNext, *btnCopy, *btnOk;

 protected:
  // Ctrl+C on the list copies through the given clipboard, not Qt's own.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  int Rows() const;

  TSqlInfo& info_;
  std::function<void(const QString&)> setClipboard_;
  int row_ = 0;
};

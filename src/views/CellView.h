#pragma once
// TfrmCellView shows one cell of a result in full, read-only, with its
// column's name, type, size, precision and scale, its grid position and its
// length in bytes (a double-byte character counts 2). Filled by whoever
// opens it from a result set and a grid position; it keeps nothing of the
// result between openings. The word-wrap choice stays as the user left it.

#include <QDialog>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class TSqlInfo;

class TfrmCellView : public QDialog {
 public:
  explicit TfrmCellView(QWidget* parent = nullptr);

  // col and row in grid coordinates: column c holds the result column with
  // index c - 1, row r the r-th data row. A column outside the result shows
  // empty texts and zeros, a row outside the grid an empty value.
  void Fill(TSqlInfo& info, int col, int row);

  // Controls, under their control names.
  QLabel *lblNameValue, *lblRowValue, *lblColValue, *lblTypeNameValue, *lblSizeValue, *lblPrecisionValue,
      *lblScaleValue, *lblLenValue, *lblCaution;
  QPlainTextEdit* memCell;
  QCheckBox* chkWordwrap;
  QPushButton* btnOk;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void ApplyWordwrap(bool on);
};

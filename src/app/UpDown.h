#pragma once
// TUpDown is a spin control bound to an edit of its own: two arrow buttons
// (and the Up and Down keys in the edit) step the number in the edit within
// a range, without wrapping around. The edit stays a free text field: it may
// hold a number outside the range or no number at all, and the control's
// position then keeps its last valid value.

#include <QWidget>

class QLineEdit;
class QToolButton;

class TUpDown : public QWidget {
 public:
  // edit: the associated edit; outlives this control (same dialog).
  TUpDown(QLineEdit& edit, int min, int max, QWidget* parent = nullptr);

  int Min() const { return min_; }
  int Max() const { return max_; }
  // The last number within the range that the edit held (or was set).
  int Position() const { return position_; }
  // Sets the position, clamped to the range, and shows it in the edit.
  void SetPosition(int position);
  // One step up (+1) or down (-1) from the number in the edit (clamped), or
  // from the position when the edit holds none.
  void Step(int delta);

  QToolButton* btnUp;
  QToolButton* btnDown;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Follow();

  QLineEdit& edit_;
  int min_, max_, position_;
};

// The edit's text as an integer (blanks in front, a sign, decimal digits or
// "$" + hex), false when it is none.
bool EditNumber(const QLineEdit& edit, int& value);

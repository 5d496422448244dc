#pragma once
// TRadioGroup is a titled group of exclusive radio items laid out in a given
// number of columns, addressed by item index (0-based, -1 for none).

#include <QGroupBox>
#include <QStringList>
#include <functional>

class QButtonGroup;
class QRadioButton;

class TRadioGroup : public QGroupBox {
 public:
  TRadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent = nullptr);

  int ItemIndex() const;
  void SetItemIndex(int index);
  QRadioButton* Item(int index) const;
  int Count() const;

  // Runs after the user chose an item (by mouse or keyboard), not when the
  // program sets it.
  std::function<void()> OnClick;

 protected:
  // Tab lands on the chosen item, as arrow keys then move from it.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QButtonGroup* buttons_;
};

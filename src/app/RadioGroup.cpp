#include "app/RadioGroup.h"

#include <QButtonGroup>
#include <QFocusEvent>
#include <QGridLayout>
#include <QRadioButton>

TRadioGroup::TRadioGroup(const QString& caption, const QStringList& items, int columns, QWidget* parent)
    : QGroupBox(caption, parent), buttons_(new QButtonGroup(this)) {
  auto* layout = new QGridLayout(this);
  for (int i = 0; i < items.size(); ++i) {
    auto* item = new QRadioButton(items[i], this);
    buttons_->addButton(item, i);
    item->installEventFilter(this);
    layout->addWidget(item, i / columns, i % columns);
  }
  connect(buttons_, &QButtonGroup::idClicked, this, [this](int) {
    if (OnClick) OnClick();
  });
}

int TRadioGroup::ItemIndex() const { return buttons_->checkedId(); }

void TRadioGroup::SetItemIndex(int index) {
  if (QAbstractButton* item = buttons_->button(index)) {
    item->setChecked(true);
    return;
  }
  // No item: an exclusive group only lets go of its checked button this way.
  buttons_->setExclusive(false);
  if (QAbstractButton* checked = buttons_->checkedButton()) checked->setChecked(false);
  buttons_->setExclusive(true);
}

QRadioButton* TRadioGroup::Item(int index) const { return static_cast<QRadioButton*>(buttons_->button(index)); }

int TRadioGroup::Count() const { return static_cast<int>(buttons_->buttons().size()); }

bool TRadioGroup::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    auto* focus = static_cast<QFocusEvent*>(event);
    QAbstractButton* checked = buttons_->checkedButton();
    if ((focus->reason() == Qt::TabFocusReason || focus->reason() == Qt::BacktabFocusReason) && checked &&
        checked != watched && checked->isEnabled())
      checked->setFocus(focus->reason());
  }
  return QGroupBox::eventFilter(watched, event);
}

#include "app/UpDown.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "views/QtText.h"
#include "core/StrUtil.h"

bool EditNumber(const QLineEdit& edit, int& value) {
  int32_t number = 0;
  if (!TryStrToInt(FromQ(edit.text()), number)) return false;
  value = number;
  return true;
}

TUpDown::TUpDown(QLineEdit& edit, int min, int max, QWidget* parent)
    : QWidget(parent), edit_(edit), min_(min), max_(max), position_(min) {
  auto arrow = [this](Qt::ArrowType type, int delta) {
    auto* button = new QToolButton(this);
    button->setArrowType(type);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    button->setFixedWidth(16);
    connect(button, &QToolButton::clicked, this, [this, delta] { Step(delta); });
    return button;
  };
  btnUp = arrow(Qt::UpArrow, 1);
  btnDown = arrow(Qt::DownArrow, -1);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(btnUp);
  layout->addWidget(btnDown);
  setFocusPolicy(Qt::NoFocus);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
  setFixedHeight(edit.sizeHint().height());
  connect(&edit, &QLineEdit::textChanged, this, [this] { Follow(); });
  edit.installEventFilter(this);
}

void TUpDown::Follow() {
  int value = 0;
  if (EditNumber(edit_, value) && value >= min_ && value <= max_) position_ = value;
}

void TUpDown::SetPosition(int position) {
  position_ = std::clamp(position, min_, max_);
  edit_.setText(QString::number(position_));
}

void TUpDown::Step(int delta) {
  int from = position_;
  if (EditNumber(edit_, from)) from = std::clamp(from, min_, max_);
  SetPosition(from + delta);
  edit_.selectAll();
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &edit_ && event->type() == QEvent::KeyPress && isEnabled()) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier) {
      if (key->key() == Qt::Key_Up) {
        Step(1);
        return true;
      }
      if (key->key() == Qt::Key_Down) {
        Step(-1);
        return true;
      }
    }
  }
  return QWidget::eventFilter(watched, event);
}

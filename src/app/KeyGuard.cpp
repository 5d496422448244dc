#include "app/KeyGuard.h"

#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>

bool TypesWithModifier(const QKeyEvent& key) {
  if (!(key.modifiers() & (Qt::AltModifier | Qt::ControlModifier))) return false;
  const QString text = key.text();
  if (text.isEmpty()) return false;
  const QChar c = text.front();
  return c == QLatin1Char('\t') || c.category() != QChar::Other_Control;
}

bool TakesTypedText(const QObject* control) {
  return qobject_cast<const QLineEdit*>(control) || qobject_cast<const QPlainTextEdit*>(control) ||
         qobject_cast<const QTextEdit*>(control) || qobject_cast<const QAbstractSpinBox*>(control) ||
         qobject_cast<const QComboBox*>(control) || qobject_cast<const QAbstractItemView*>(control);
}

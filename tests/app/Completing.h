#pragma once
// Typing into the edit area as the keyboard does, and what the completion
// popup offers meanwhile. The popup's pause is made 0, so that letting the
// pending events through stands for the user's pause.

#include <QAbstractItemModel>
#include <QApplication>
#include <QListView>
#include <QPlainTextEdit>
#include <QTest>

#include "app/SqlCompleter.h"

class TCompleting {
 public:
  TCompleting(TSqlCompleter& completer, QPlainTextEdit& edit) : completer_(completer), edit_(edit) {
    completer_.DelayMs = 0;
  }

  // "|" marks where the caret goes.
  void SetText(const QString& text) {
    const qsizetype caret = text.indexOf(QLatin1Char('|'));
    edit_.setPlainText(QString(text).remove(caret, 1));
    QTextCursor cursor = edit_.textCursor();
    cursor.setPosition(static_cast<int>(caret));
    edit_.setTextCursor(cursor);
    edit_.setFocus();
    QApplication::processEvents();
  }
  void Type(const QString& text) {
    QTest::keyClicks(&edit_, text);
    QApplication::processEvents();
  }
  void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QTest::keyClick(&edit_, key, mods);
    QApplication::processEvents();
  }
  // The names the popup shows, empty while it is closed.
  QStringList Offered() const {
    QListView* popup = completer_.Popup();
    QStringList names;
    if (!popup->isVisible()) return names;
    for (int r = 0; r < popup->model()->rowCount(); ++r) names << popup->model()->index(r, 0).data().toString();
    return names;
  }
  QString Text() const { return edit_.toPlainText(); }

 private:
  TSqlCompleter& completer_;
  QPlainTextEdit& edit_;
};

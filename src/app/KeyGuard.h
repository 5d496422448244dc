#pragma once
// Keys held with Alt or Ctrl are commands, mnemonics or nothing; Qt's text
// controls would still type some of them (Alt+letter, Ctrl+Alt+letter), so
// the SQL or a dialog's field would change without a word.

class QKeyEvent;
class QObject;

// The key would put text into a control: a printable character or a tab
// typed with Alt or Ctrl held (Ctrl+A and the like carry control characters).
bool TypesWithModifier(const QKeyEvent& key);
// Controls that take typed text: line and text edits, spin boxes, combo
// boxes, and item views (whose typing searches and moves the selection).
bool TakesTypedText(const QObject* control);

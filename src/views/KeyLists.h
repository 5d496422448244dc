#pragma once
// The key picker shared by the sort dialog and the compare wizard: the list
// of columns not used as keys, the list of keys with a check box each (ticked
// = descending), and the four key commands with their buttons. Every item
// carries its grid column number (result column k is k + 1).
//
// The owner places the widgets in its layout and calls UpdateActions after
// anything that may change a rule; the lists call it themselves on every
// change of their own.

#include <QObject>
#include <QString>
#include <functional>

#include "views/RowOps.h"

class QAction;
class QGridLayout;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QWidget;
class TSqlInfo;

class TKeyLists : public QObject {
 public:
  // parent owns the widgets and the actions; keysCaption is the label of the
  // key list ("並べ替えに使用するキー(&K)", "比較に使用するキー(&K)").
  TKeyLists(QWidget* parent, const QString& keysCaption);

  // Empties both lists and fills lstCols with info's column names in column
  // order; lstCols gets the focus (when it can take it) with its first item
  // selected.
  void Fill(const TSqlInfo& info);
  // The keys in list order, each negated when ticked.
  TKeyList Keys() const;
  int KeyCount() const;

  // The lists with their labels and the buttons between them, for the
  // owner's layout.
  QGridLayout* Layout();

  // Sets every key command's enable state from its rule, then calls
  // OnChanged (the owner's rules may follow the key list).
  void UpdateActions();
  std::function<void()> OnChanged;

  QLabel *lblCols, *lblKeys, *lblCheck;
  QListWidget *lstCols, *lstKeys;
  QPushButton *btnAdd, *btnDelete, *btnUp, *btnDown;
  QAction *actKeyAdd, *actKeyDelete, *actKeyUp, *actKeyDown;

 private:
  // The selected item's row, or -1.
  static int SelectedRow(const QListWidget& list);
  void KeyAdd();
  void KeyDelete();
  void KeyMove(int by);
};

// Categories of the dialog commands, kept as the action's "category" property.
inline constexpr const char* kKeyCategory = "Key";
inline constexpr const char* kButtonCategory = "Botton";

// A dialog command: its caption, and its hint "short|long" (or none) as tool
// tip and status tip. A dialog button runs its command and follows its
// enable state.
QAction* DialogAction(QWidget* parent, const char* name, const char* category, const char* caption,
                      const char* hint);
QPushButton* DialogButton(QWidget* parent, const char* name, QAction& action);

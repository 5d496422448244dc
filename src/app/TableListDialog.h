#pragma once
// TfrmTableList: the tables and views of the connected database with their
// schema, a filter over their names, and the selected table's columns.
// Activating a table (double-click, Enter in the list or the filter box)
// puts its name at the SQL edit's cursor; 「SELECT文を作成」 puts a SELECT of
// all its columns there. Either closes the dialog. It is made for one showing; its placement is not kept.
//
// The catalogue is read while no run is going on, on the caller's thread,
// with the busy handler the caller gives (the window works meanwhile, and
// its close gives the reading up); one table's columns are read briefly
// (see BriefWait). Reading failures are TSessionError (Load) or shown in the
// dialog's status line (the columns of one table).

#include <QDialog>
#include <vector>

#include "core/Catalog.h"
#include "core/Session.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
class TApp;
class TDatabase;

class TfrmTableList : public QDialog {
 public:
  // edit receives the texts; db and edit must outlive the dialog. busy
  // (may be empty) is the database's busy handler while Load reads.
  TfrmTableList(TDatabase& db, QPlainTextEdit& edit, QWidget* parent, TDatabase::TBusyHandler busy = {});

  // Reads the catalogue and fills the list; throws what the database throws.
  void Load();
  // Shows only the tables whose schema-qualified name contains text (without
  // regard to ASCII case); the first shown one becomes current.
  void SetFilter(const QString& text);

  QLineEdit* edtFilter;
  QTreeWidget *lstTables, *lstColumns;
  QLabel* lblMessage;
  QPushButton *btnInsert, *btnSelect, *btnClose;

 private:
  const TCatalogTable* Current() const;
  void ShowColumns();
  void Insert(const std::string& text);

  TDatabase& db_;
  QPlainTextEdit& edit_;
  TDatabase::TBusyHandler busy_;
  TCatalog catalog_;
  std::vector<TCatalogColumn> columns_;  // of the current table
  int columnsOf_ = -1;                   // index into catalog_.Tables
};

// The command's effect: closes the finished query, reads the catalogue and
// shows the dialog over the main window.
void TableListExecute(TApp& app);

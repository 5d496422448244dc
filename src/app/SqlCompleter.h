#pragma once
// TSqlCompleter offers names while the user types SQL into the edit area:
// the keywords, the tables and views of the connected database, and after
// `name.` or `alias.` the columns of that table (an alias is looked up in
// the FROM and JOIN clauses of the statement around the caret). The popup
// comes by itself after a "." and after three letters of a word, once the
// typing pauses (DelayMs), and at once with Ctrl+Space or Ctrl+J. Up and
// Down choose, Enter or Tab takes the name, Escape closes; other keys go on
// typing and narrow the list. While an input method composes a text no
// popup is open.
//
// The edit keeps the focus throughout: the popup takes no focus and no key.
//
// The tables and views are read while a command holds the engine (at the
// connect, and after a statement that changes the schema, under that
// command's busy state and flags); the columns of a table when first asked
// for, between runs, and then kept until the tables are read again.

#include <QObject>
#include <QString>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/Catalog.h"
#include "core/Completion.h"

class QKeyEvent;
class QListView;
class QPlainTextEdit;
class QTimer;
class TApp;
class TCandidateModel;

class TSqlCompleter final : public QObject {
  Q_OBJECT

 public:
  // Lives as a child of edit; app must outlive it.
  TSqlCompleter(TApp& app, QPlainTextEdit& edit);
  ~TSqlCompleter() override;

  // Reads the tables and views of the connected database again, now, and
  // forgets the columns read so far. A failed reading leaves the keywords
  // alone to offer.
  void ReadTables();
  // The schema may have changed: ReadTables is due.
  bool Stale = false;

  // Opens the popup for the word at the caret, or closes it when there is
  // nothing to offer. automatic asks for three letters or a "." first, and
  // offers nothing where the only name is the word as typed.
  void Complete(bool automatic);
  // Puts the chosen name in place of the word and closes the popup.
  void Take();
  void Close();

  QListView* Popup() const { return popup_; }
  bool Reading() const { return reading_; }
  const TCatalog& Catalog() const { return catalog_; }
  // How long typing must pause before the popup comes by itself.
  int DelayMs = 300;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool EngineIdle() const;
  bool HandleKey(QKeyEvent& key);
  void Refresh();
  // The candidates for ctx; reads the columns of a table it needs.
  std::vector<const TCandidate*> Candidates(const TCompletionContext& ctx);
  const TNameList* Columns(int table);
  void Show(std::vector<const TCandidate*> names);
  // Puts the popup under the caret.
  void Place();

  TApp& app_;
  QPlainTextEdit& edit_;
  QListView* popup_;
  TCandidateModel* model_;
  QTimer* delay_;

  TCatalog catalog_;
  TNameList words_;  // keywords and the tables of the default and user schemas
  std::unordered_map<int, TNameList> columns_;  // by index into catalog_.Tables
  TNameList schemaTables_;                      // the last schema asked for
  std::string schemaOf_;

  bool reading_ = false;
  bool composing_ = false;
  bool automatic_ = false;  // the open popup came by itself
  int start_ = 0, end_ = 0;  // the word the popup replaces, in the edit's positions
};

// Makes the main window's edit area complete names; once, at start-up.
void AttachSqlCompleter(TApp& app);
// The edit area's completer, or nullptr before AttachSqlCompleter.
TSqlCompleter* SqlCompleter(TApp& app);
// A statement (cp932, as it was sent) of a run has run: when it changes the
// schema, the completion reads the tables again at the run's end.
void SchemaMayHaveChanged(TApp& app, const std::string& statement);
// The end of a run, still in its busy state: the tables are read again if
// a statement of the run changed the schema (once for a whole script).
void CompletionAfterRun(TApp& app);
// A connection was made: the completion reads its tables now.
void ConnectionOpened(TApp& app);

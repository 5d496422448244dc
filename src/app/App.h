#pragma once
// TApp is the program: it runs the entry sequence, owns every window and the
// command module for the life of the process, and holds the process-wide
// values and helpers. Windows receive TApp& and reach each other through it.
// Several TApp may live in one process (tests); each takes its own instance
// lock, so two on the same executable name exclude each other as two
// processes would.

#include <memory>
#include <string>

#include "app/Platform.h"
#include "core/FileLocations.h"
#include "core/SqlManager.h"

class QDialog;
class QListWidget;
class QTranslator;
class QWidget;
class TfrmMain;
class TfrmAbout;
class TmodAction;
class TfrmLogin;
class TfrmOption;
class TfrmCellView;
class TDraftKeeper;
class TfrmDiff;
class TfrmLog;
class TfrmSort;
class TResultHost;
struct TOptions;

class TApp {
 public:
  // sessionFactory makes the database session object; empty means the real
  // one, whose empty host string is the embedded database files.DefaultDatabase.
  TApp(TPlatform& platform, TFileLocations files, TSqlManager::TSessionFactory sessionFactory = {});
  // Ends the program if Start succeeded and Finish has not run.
  ~TApp();
  TApp(const TApp&) = delete;
  TApp& operator=(const TApp&) = delete;

  // The entry sequence up to the message loop: title, Qt's Japanese texts,
  // instance lock, the windows in their order. False when another instance holds the lock (the
  // message has been shown, nothing was created, no file touched).
  bool Start();
  // Shows the main window and runs the message loop until it is closed,
  // then Finish. Returns the exit code.
  int Run();
  // The end: windows released in reverse order of creation (the settings are
  // written on the way), the lock last. Runs once.
  void Finish();

  // Asks the program to end as soon as its loop runs (the session object
  // could not be made).
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  // Between a successful Start and Finish: the windows exist.
  bool Started() const { return started_ && !finished_; }

  TPlatform& Platform() { return platform_; }
  const TFileLocations& Files() const { return files_; }
  const TSqlManager::TSessionFactory& SessionFactory() const { return sessionFactory_; }
  // "Quorrel", as UTF-8 for Qt.
  QString AppTitle() const;

  // Exist from Start to Finish.
  TfrmMain& Main() { return *main_; }
  TfrmAbout& About() { return *about_; }
  TmodAction& Action() { return *action_; }
  TfrmLogin& Login() { return *login_; }
  TfrmOption& OptionDialog() { return *option_; }
  TfrmLog& LogDialog() { return *log_; }
  TfrmDiff& DiffDialog() { return *diff_; }
  TfrmSort& SortDialog() { return *sort_; }
  TfrmCellView& CellView() { return *cellView_; }
  TDraftKeeper& Draft() { return *draft_; }
  // The settings; valid from the options dialog's creation on.
  TOptions& Options();
  bool HasOptions() const { return option_ != nullptr; }

  // The busy state. Begin lets pending messages through first, raises the
  // processing flag unless cursor is AppStart, and shows cursor; End clears
  // the flag and brings back the cursor saved by the last Begin (one slot,
  // no nesting).
  void BeginBusy(TCursor cursor);
  void EndBusy();

  // Places form over the middle of the main window.
  void CenterOnMain(QWidget& form);

  // The run driver lets pending messages through at most once per this many
  // milliseconds of fetching (0: after every row). The stop request is
  // looked at after every row regardless.
  int MessageSliceMs = 4;

 private:
  TPlatform& platform_;
  TFileLocations files_;
  TSqlManager::TSessionFactory sessionFactory_;
  std::unique_ptr<TInstanceLock> lock_;
  // Qt's own Japanese texts for the standard dialogs; installed from Start to
  // Finish when the translations are there.
  std::unique_ptr<QTranslator> qtTexts_;
  bool started_ = false, finished_ = false, terminated_ = false;
  TCursor savedCursor_ = TCursor::Default;

  std::unique_ptr<TfrmMain> main_;
  std::unique_ptr<TfrmAbout> about_;
  std::unique_ptr<TmodAction> action_;
  std::unique_ptr<TResultHost> resultHost_;
  std::unique_ptr<TfrmLog> log_;
  std::unique_ptr<TfrmDiff> diff_;
  std::unique_ptr<TfrmSort> sort_;
  std::unique_ptr<TfrmOption> option_;
  std::unique_ptr<TfrmLogin> login_;
  std::unique_ptr<TfrmCellView> cellView_;
  std::unique_ptr<TDraftKeeper> draft_;
};

// RAII pairing of BeginBusy/EndBusy, so the end also runs when work fails.
class TBusy {
 public:
  TBusy(TApp& app, TCursor cursor) : app_(app) { app_.BeginBusy(cursor); }
  ~TBusy() { app_.EndBusy(); }
  TBusy(const TBusy&) = delete;
  TBusy& operator=(const TBusy&) = delete;

 private:
  TApp& app_;
};

// List helpers for lists whose items carry data of their own (the data goes
// with the item). DeleteListItem selects the item now at index, or the last
// one when index is past the end, or none when the list became empty.
void ClearListItems(QListWidget& list);
void DeleteListItem(QListWidget& list, int index);

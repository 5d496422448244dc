#pragma once
// TfrmMain is the single main window: the layout and its controls, the four
// state flags every command's enable rule reads, the status bar, and the
// handlers that turn the result set's events into status texts (the grid
// side is the result grid's presenter). Commands live in the command module;
// the window only offers controls bound to them (BindActions, called by the
// module once it exists) and the setters the commands call.
//
// Creation depends neither on the command module nor on any setting: both
// arrive later in the start-up sequence.

#include <QMainWindow>
#include <memory>
#include <string>
#include <string_view>

#include "core/SqlInfo.h"
#include "core/SqlManager.h"

class QLabel;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class TApp;
class TmodAction;
class TStatusBar;
class TSqlGrid;
class TResultPresenter;
struct TMainFormLayout;
struct TOptions;

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  explicit TfrmMain(TApp& app);
  ~TfrmMain() override;

  // State; changed only through the setters.
  bool IsConnected() const { return isConnected_; }
  bool IsRunning() const { return isRunning_; }
  bool IsProcessing() const { return isProcessing_; }
  // The running script is a query whose rows are being fetched; written by
  // the run command only.
  bool IsSelect = false;
  // The desktop is ending the program (SIGTERM, logout): nobody is left to
  // answer a question, so uncommitted changes are rolled back unasked.
  bool SessionEnding = false;
  const std::string& StatusMsg() const { return statusMsg_; }  // cp932
  const std::string& PathFile() const { return pathFile_; }    // cp932
  // The grid's current cell, followed on every move; 0 = no data cell.
  int Col = 0;
  int Row = 0;

  void SetIsConnected(bool value);
  void SetIsRunning(bool value);
  void SetIsProcessing(bool value);
  void SetStatusMsg(std::string_view sjis);
  void SetPathFile(std::string_view sjis);
  // The 未コミット indicator, over the message panel's right end so that no
  // panel changes its size or text.
  void ShowUncommitted(bool on);
  bool UncommittedShown() const;
  // Empties the edit area and the result, forgets the file, and lets the
  // cleared window paint before returning.
  void New();

  TSqlInfo& SqlInfo() { return *sqlInfo_; }
  TSqlManager& SqlManager() { return *sqlManager_; }
  TSqlGrid& Grid() { return *grid_; }
  TStatusBar& StatusBar() { return *barStatus_; }
  // The edit area's text split into lines (cp932).
  TStrings SqlLines() const;
  bool SqlIsEmpty() const;
  // Replaces the edit area's text by these lines as one update; SqlLines
  // gives them back unchanged.
  void SetSqlLines(const TStrings& lines);
  // The grid is shown, enabled and may take the focus.
  bool GridCanFocus() const;
  // The edit area is the window's focused control.
  bool SqlHasFocus() const;
  // Gives the edit area the focus when it is shown and enabled.
  void FocusSql();

  // Wires menus, tool buttons and context menus to the commands.
  void BindActions(TmodAction& actions);

  // Window geometry and panel sizes, read from and written to the settings.
  void ApplyLayout(const TMainFormLayout& layout);
  void CollectLayout(TMainFormLayout& layout) const;

  // Full-size result area on or off (the view command's effect).
  void SetGridOnly(bool on);

  // A close was asked for while a script ran; the run driver closes the
  // window once it has finished.
  bool ClosePending() const { return closePending_; }
  // The close went through; the window is gone for the user.
  bool IsClosed() const { return closed_; }

  // Controls, under their control names.
  QWidget* pnlToolbar = nullptr;
  QSplitter* sptHorizon = nullptr;
  QWidget* pnlOperation = nullptr;
  QSplitter* sptVertical = nullptr;
  QWidget* pnlSql = nullptr;
  QLabel* lblSql = nullptr;
  QPlainTextEdit* edtSql = nullptr;
  QPushButton* btnStart = nullptr;
  QPushButton* btnStop = nullptr;
  QWidget* pnlFreq = nullptr;
  QLabel* lblFreq = nullptr;
  QListWidget* lstFreq = nullptr;
  QWidget* pnlGrid = nullptr;
  QMenu* popSql = nullptr;
  QMenu* popFreq = nullptr;
  QMenu* popGrid = nullptr;
  QLabel* lblTransaction = nullptr;

 signals:
  // The window closed (the close was accepted).
  void Closed();
  // SetStatusMsg ran (cp932 text as Unicode); every call, also repeats.
  void StatusMsgChanged(const QString& text);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateLayout();
  void ResizeClient();
  QWidget* CreateToolbar();
  QWidget* CreateSqlPanel();
  QWidget* CreateFreqPanel();
  void CreateStatusBar();
  void PlaceUncommitted();
  void WireResultSet();
  void DrawProgressPanel(QPainter& painter, const QRect& rect);
  void FitProgressPanel();
  void EnableEditControls(bool enabled);
  bool IsPreviewed(QObject* receiver) const;
  bool HandleKey(QObject* receiver, QKeyEvent* key);
  void ShowHint(const QString& longHint);
  // From the settings once they are read; the defaults before.
  const TOptions& Settings() const;

  TApp& app_;
  bool isConnected_ = false;
  bool isRunning_ = false;
  bool isProcessing_ = false;
  bool closePending_ = false;
  bool closed_ = false;
  bool progressPending_ = false;
  int progressLengths_ = 0;  // digits of the figures panel 2 is fitted to
  std::string statusMsg_;
  std::string pathFile_;

  std::unique_ptr<TSqlInfo> sqlInfo_;
  std::unique_ptr<TSqlManager> sqlManager_;
  TSqlGrid* grid_ = nullptr;  // owned by pnlGrid
  std::unique_ptr<TResultPresenter> presenter_;
  TStatusBar* barStatus_ = nullptr;
  TmodAction* actions_ = nullptr;
};

#pragma once
// A whole program per test: TApp on a temporary directory with the fake
// desktop, its main window shown offscreen, and SQLite databases built there.

#include <gtest/gtest.h>

#include <QAction>
#include <QDialog>
#include <QPlainTextEdit>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ActionModule.h"
#include "app/App.h"
#include "app/MainWindow.h"
#include "app/StatusBar.h"
#include "core/FileLocations.h"
#include "support/FakePlatform.h"
#include "support/TempDir.h"
#include "views/LogDialog.h"

// Runs SQL (UTF-8) on a SQLite file, failing the test on an error.
void ExecSqlite(const std::string& path, const std::string& sql);
// A table T(N INTEGER, NAME VARCHAR2(20), V NUMBER(7,2)) of n rows:
// N = 1..n, NAME = "name<N>", V = N / 4.
void MakeSeriesTable(const std::string& path, int n);

class AppTest : public ::testing::Test {
 protected:
  void TearDown() override;

  // Starts the program as the executable <dir>/<baseName>; false when refused.
  bool StartApp(const std::string& baseName = "quorrel", TSqlManager::TSessionFactory factory = {});
  TApp& App() { return *app_; }
  TfrmMain& Main() { return app_->Main(); }
  TmodAction& Actions() { return app_->Action(); }
  // The embedded database of the running program (empty host string).
  std::string Database() const { return dir.File("quorrel.db"); }

  // Connects through the login dialog with the given host (cp932 not needed:
  // ASCII paths).
  void Connect(const QString& host = {});
  // Starts the program and connects it to the host string that host() gives
  // (see WindowHosts.h); the reason to skip when it gives none, else empty.
  // A failed start or connect is a failure of the test.
  std::string StartConnected(const std::function<std::string(TTempDir&, std::string*)>& host);
  // Puts sql into the edit area and runs the start command.
  void Run(const QString& sql);
  // Status panel texts.
  QString Panel(int index) { return Main().StatusBar().PanelText(index); }
  // Enabled commands, by name, after re-evaluating every rule.
  std::vector<std::string> EnabledCommands();
  // Records every status message from now on.
  void RecordStatus();
  std::vector<QString> status;

  TTempDir dir;
  TFakePlatform platform{dir.Path()};
  std::unique_ptr<TApp> app_;
};

QString Q8(const char* utf8);

// The options store of a running program (kept out of test files that show
// the grid).
void SetMaxRow(TApp& app, int maxRow);

// Name completion over a database of many tables, through the real window:
//
// 1. The catalogue read at the connect (the tables and views, and the list
//    the popup matches against), on an SQLite file and on a private
//    PostgreSQL server, next to the same names read straight through the
//    sqlite3 library and libpq (the baseline).
// 2. The popup once the catalogue is read: Ctrl+J after a prefix that 10
//    names share, after one that every table shares, and at a blank (every
//    name offered), in a short statement and at the middle of a
//    10,000-line edit; until the popup is shown and painted.
//
//   completion_bench [tables] [rounds]    (default 10000 5)
//
// QT_QPA_PLATFORM=offscreen needs no display.

#include <libpq-fe.h>
#include <sqlite3.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QListView>
#include <QPlainTextEdit>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchPlatform.h"
#include "BenchTiming.h"
#include "app/ActionModule.h"
#include "app/App.h"
#include "app/LoginDialog.h"
#include "app/MainWindow.h"
#include "app/SqlCompleter.h"
#include "core/FileLocations.h"
#include "support/PgServer.h"

namespace {

constexpr double kReadLimitMs = 500, kPopupLimitMs = 50;

bool Exec(sqlite3* db, const std::string& sql) {
  return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool MakeSqliteTables(const std::string& file, int tables) {
  sqlite3* db = nullptr;
  if (sqlite3_open(file.c_str(), &db) != SQLITE_OK) return false;
  bool ok = Exec(db, "BEGIN");
  for (int i = 0; ok && i < tables; ++i)
    ok = Exec(db, "CREATE TABLE T" + std::to_string(i) + " (ID INTEGER NOT NULL, NAME VARCHAR(20), V NUMERIC(7,2))");
  ok = ok && Exec(db, "COMMIT");
  sqlite3_close(db);
  return ok;
}

// In transactions of a thousand tables: one transaction's locks must fit
// the server's lock table.
bool MakePgTables(TPgServer& server, int tables) {
  for (int from = 0; from < tables; from += 1000) {
    const int to = std::min(tables, from + 1000) - 1;
    if (!server.Admin("DO $$ BEGIN FOR i IN " + std::to_string(from) + ".." + std::to_string(to) +
                      " LOOP EXECUTE format('CREATE TABLE t%s (id integer NOT NULL, name varchar(20), "
                      "v numeric(7,2))', i); END LOOP; END $$"))
      return false;
  }
  return server.Admin("ANALYZE");
}

double SqliteBaseline(const std::string& file, int rounds, size_t& seen) {
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  const double ms = Median(rounds, [&] {
    sqlite3_stmt* stmt = nullptr;
    seen = 0;
    sqlite3_prepare_v2(db, "SELECT name, upper(type) FROM sqlite_schema WHERE type IN ('table', 'view') ORDER BY name",
                       -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) seen += sqlite3_column_bytes(stmt, 0) > 0;
    sqlite3_finalize(stmt);
  });
  sqlite3_close(db);
  return ms;
}

double PgBaseline(const TPgServer& server, int rounds, size_t& seen) {
  const std::string info = "host=127.0.0.1 port=" + std::to_string(server.Port()) + " dbname=" + TPgServer::Database() +
                           " user=" + TPgServer::User() + " password=" + TPgServer::Password();
  PGconn* conn = PQconnectdb(info.c_str());
  const double ms = Median(rounds, [&] {
    PGresult* r = PQexec(conn,
                         "SELECT n.nspname, c.relname, c.relkind, c.oid FROM pg_catalog.pg_class c "
                         "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
                         "WHERE c.relkind IN ('r', 'v', 'm', 'p', 'f') ORDER BY 1, 2");
    seen = static_cast<size_t>(PQntuples(r));
    PQclear(r);
  });
  PQfinish(conn);
  return ms;
}

// One backend: connect through the window, then the catalogue read again
// and the popups.
bool Measure(QApplication& qapp, const std::filesystem::path& dir, const char* title, const QString& host,
             double baselineMs, size_t baselineNames, int rounds) {
  TBenchPlatform platform(dir.string());
  TApp app(platform, MakeFileLocations((dir / "quorrel").string()));
  if (!app.Start()) return false;
  TfrmMain& main = app.Main();
  main.resize(1000, 700);
  main.show();
  qapp.processEvents();
  app.Login().edtUser->setText(QString::fromLatin1(TPgServer::User()));
  app.Login().edtPassword->setText(QString::fromLatin1(TPgServer::Password()));
  app.Login().edtHost->setText(host);
  const double connectMs = Ms([&] { app.Action().Execute(app.Action().actConnect); });
  TSqlCompleter* completer = SqlCompleter(app);
  if (!main.IsConnected() || !completer) {
    std::fprintf(stderr, "%s: not connected\n", title);
    return false;
  }
  const double readMs = Median(rounds, [&] { completer->ReadTables(); });
  const size_t names = completer->Catalog().Tables.size();

  QPlainTextEdit& edit = *main.edtSql;
  edit.setFocus();
  auto popup = [&](const QString& text, int caret) {
    edit.setPlainText(text);
    QTextCursor c = edit.textCursor();
    c.setPosition(caret);
    edit.setTextCursor(c);
    qapp.processEvents();
    int shown = 0;
    const double ms = Median(rounds, [&] {
      completer->Close();
      completer->Complete(false);
      completer->Popup()->repaint();
      shown = completer->Popup()->isVisible() ? completer->Popup()->model()->rowCount() : -1;
    });
    completer->Close();
    return std::make_pair(ms, shown);
  };
  QString longEdit;
  for (int i = 0; i < 10000; ++i) longEdit += QStringLiteral("SELECT e.ENAME, 'x;y' FROM EMP e -- %1;\n").arg(i);
  const int middle = static_cast<int>(longEdit.size() / 2);
  const QString insert = QStringLiteral("SELECT * FROM T99");
  longEdit.insert(middle, insert);
  const auto few = popup(QStringLiteral("SELECT * FROM T99"), 17);
  const auto all = popup(QStringLiteral("SELECT * FROM T"), 15);
  const auto blank = popup(QStringLiteral("SELECT * FROM "), 14);
  const auto inLong = popup(longEdit, middle + static_cast<int>(insert.size()));

  std::printf("\n%s, %zu tables and views\n", title, names);
  std::printf("  %-52s %8.1f ms  (%zu names)\n", "baseline: the names read straight through the client", baselineMs,
              baselineNames);
  std::printf("  %-52s %8.1f ms  (the connect command, its first read included: %.1f ms)\n",
              "catalogue read for the completion", readMs, connectMs);
  std::printf("  %-52s %8.2f ms  (%d names)\n", "popup for \"T99\"", few.first, few.second);
  std::printf("  %-52s %8.2f ms  (%d names)\n", "popup for \"T\"", all.first, all.second);
  std::printf("  %-52s %8.2f ms  (%d names)\n", "popup at a blank (Ctrl+J)", blank.first, blank.second);
  std::printf("  %-52s %8.2f ms  (%d names)\n", "popup for \"T99\" in a 10,000-line edit", inLong.first, inLong.second);
  const double worstPopup = std::max({few.first, all.first, blank.first, inLong.first});
  const bool ok = readMs <= kReadLimitMs && worstPopup <= kPopupLimitMs;
  std::printf("  %s: catalogue %.0f ms of %.0f, popup %.1f ms of %.0f\n", ok ? "within the limits" : "OVER THE LIMITS",
              readMs, kReadLimitMs, worstPopup, kPopupLimitMs);
  app.Action().Execute(app.Action().actDisConnect);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  const int tables = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("completion_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  int status = 0;

  const std::string file = (dir / "tables.db").string();
  if (!MakeSqliteTables(file, tables)) return 1;
  size_t seen = 0;
  const double sqliteBase = SqliteBaseline(file, rounds, seen);
  if (!Measure(qapp, dir, "SQLite file", QString::fromStdString(file), sqliteBase, seen, rounds)) status = 1;

  TPgServer server;
  if (!server.Start()) {
    std::fprintf(stderr, "no private PostgreSQL server: %s\n", server.Error().c_str());
    status = 1;
  } else if (!MakePgTables(server, tables)) {
    std::fprintf(stderr, "%s\n", server.Error().c_str());
    status = 1;
  } else {
    const double pgBase = PgBaseline(server, rounds, seen);
    if (!Measure(qapp, dir, "PostgreSQL server (libpq)", QString::fromStdString(server.Uri()), pgBase, seen, rounds))
      status = 1;
  }
  std::filesystem::remove_all(dir);
  return status;
}

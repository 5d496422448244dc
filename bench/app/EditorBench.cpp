// Two things that must stay quick as the database and the statement grow:
//
// 1. Typing into a 10,000-line statement in the SQL edit area, with the
//    syntax highlighter and, as the baseline in the same run, without it:
//    the time per key press in the middle of the text, and the time of the
//    worst key of all, a "/*" at the top that turns every line below into a
//    comment (and back when it is removed).
// 2. The table list over 10,000 tables of an SQLite file: reading the
//    catalogue and filling the dialog, next to reading the same names
//    straight through the sqlite3 library (the baseline).
//
//   editor_bench [lines] [tables]    (default 10000 10000)
//
// QT_QPA_PLATFORM=offscreen needs no display.

#include <sqlite3.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/SqlHighlighter.h"
#include "app/TableListDialog.h"
#include "core/Session.h"
#include "core/SqlManager.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point t0) { return std::chrono::duration<double, std::milli>(Clock::now() - t0).count(); }

// blockComments false leaves "*/" out, so that a "/*" at the top runs to the end.
QString Statement(int lines, bool blockComments = true) {
  QString text;
  for (int i = 0; i < lines; ++i) {
    switch (i % 5) {
      case 0: text += QStringLiteral("SELECT e.EMPNO, e.ENAME, '社員 %1' AS 名前 -- 注釈\n").arg(i); break;
      case 1:
        text += blockComments ? QStringLiteral("  FROM \"EMP\" e /* 結合 */ JOIN DEPT d ON d.DEPTNO = e.DEPTNO\n")
                              : QStringLiteral("  FROM \"EMP\" e -- 結合\n");
        break;
      case 2: text += QStringLiteral(" WHERE e.SAL > %1.5 AND e.JOB IN ('CLERK', 'it''s')\n").arg(i); break;
      case 3: text += QStringLiteral("REM 実行されない行\n"); break;
      default: text += QStringLiteral(" UNION ALL\n"); break;
    }
  }
  return text;
}

void Key(QWidget* w, int key, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(w, &release);
}

struct TTyping {
  double PerKeyMs = 0, WorstKeyMs = 0, LoadMs = 0;
  int CommentedLast = 0;  // the last line's state while the "/*" stands
};

// Types `keys` letters (and as many backspaces) in the middle line, painting
// after each as the window would; then "/*" at the top and its removal.
TTyping Type(int lines, int keys, bool highlighted) {
  QPlainTextEdit edit;
  edit.setLineWrapMode(QPlainTextEdit::NoWrap);
  edit.resize(800, 600);
  edit.show();
  if (highlighted) new TSqlHighlighter(edit.document());
  TTyping t;
  auto t0 = Clock::now();
  edit.setPlainText(Statement(lines));
  QApplication::processEvents();
  t.LoadMs = Ms(t0);

  QTextCursor c(edit.document()->findBlockByNumber(lines / 2));
  c.movePosition(QTextCursor::EndOfBlock);
  edit.setTextCursor(c);
  edit.centerCursor();
  QApplication::processEvents();
  t0 = Clock::now();
  for (int i = 0; i < keys; ++i) {
    Key(&edit, Qt::Key_X, QStringLiteral("x"));
    edit.viewport()->repaint();
  }
  for (int i = 0; i < keys; ++i) {
    Key(&edit, Qt::Key_Backspace, QString());
    edit.viewport()->repaint();
  }
  QApplication::processEvents();
  t.PerKeyMs = Ms(t0) / (2 * keys);

  edit.setPlainText(Statement(lines, false));
  QApplication::processEvents();
  edit.moveCursor(QTextCursor::Start);
  t0 = Clock::now();
  Key(&edit, Qt::Key_Slash, QStringLiteral("/"));
  Key(&edit, Qt::Key_Asterisk, QStringLiteral("*"));
  edit.viewport()->repaint();
  t.CommentedLast = edit.document()->lastBlock().previous().userState();
  Key(&edit, Qt::Key_Backspace, QString());
  edit.viewport()->repaint();
  QApplication::processEvents();
  t.WorstKeyMs = Ms(t0) / 3;
  return t;
}

bool Exec(sqlite3* db, const std::string& sql) { return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK; }

}  // namespace

int main(int argc, char** argv) {
  QApplication qapp(argc, argv);
  const int lines = argc > 1 ? std::atoi(argv[1]) : 10000;
  const int tables = argc > 2 ? std::atoi(argv[2]) : 10000;
  const int keys = 200;

  const TTyping plain = Type(lines, keys, false);
  const TTyping coloured = Type(lines, keys, true);
  std::printf("typing into a %d-line statement (%d key presses, each painted;\n"
              "  '/*' at top: the mean of typing '/', '*' and a backspace at the start of a\n"
              "  statement without '*/', each turning every line below in or out of a comment)\n",
              lines, 2 * keys);
  std::printf("  %-26s %10s %10s %14s\n", "", "per key", "load", "'/*' at top");
  std::printf("  %-26s %8.3f ms %7.1f ms %11.3f ms\n", "plain edit (baseline)", plain.PerKeyMs, plain.LoadMs,
              plain.WorstKeyMs);
  std::printf("  %-26s %8.3f ms %7.1f ms %11.3f ms\n", "with the highlighter", coloured.PerKeyMs, coloured.LoadMs,
              coloured.WorstKeyMs);
  std::printf("  (last line's state under the \"/*\": %d, 1 = inside the comment)\n", coloured.CommentedLast & 3);

  // A database of `tables` tables of three columns each.
  const std::string dir = std::filesystem::temp_directory_path() / ("editor_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string file = dir + "/tables.db";
  sqlite3* raw = nullptr;
  if (sqlite3_open(file.c_str(), &raw) != SQLITE_OK) return 1;
  Exec(raw, "BEGIN");
  for (int i = 0; i < tables; ++i)
    Exec(raw, "CREATE TABLE T" + std::to_string(i) + " (ID INTEGER NOT NULL, NAME VARCHAR(20), V NUMERIC(7,2))");
  Exec(raw, "COMMIT");

  auto t0 = Clock::now();
  sqlite3_stmt* stmt = nullptr;
  int seen = 0;
  sqlite3_prepare_v2(raw, "SELECT name, type FROM sqlite_schema WHERE type IN ('table', 'view') ORDER BY name", -1,
                     &stmt, nullptr);
  while (sqlite3_step(stmt) == SQLITE_ROW) seen += sqlite3_column_bytes(stmt, 0) > 0;
  sqlite3_finalize(stmt);
  const double baseMs = Ms(t0);
  sqlite3_close(raw);

  TSqlManager engine([file] { return CreateSession(file); });
  if (!engine.CreateSession() || !engine.Logon("", "", file)) return 1;
  QPlainTextEdit edit;
  double readMs = 0, listMs = 0;
  size_t listed = 0;
  {
    t0 = Clock::now();
    const TCatalog catalog = ReadCatalog(*engine.Database());
    readMs = Ms(t0);
    listed = catalog.Tables.size();
  }
  {
    TfrmTableList dialog(*engine.Database(), edit, nullptr);
    dialog.show();
    t0 = Clock::now();
    dialog.Load();
    QApplication::processEvents();
    listMs = Ms(t0);
    t0 = Clock::now();
    dialog.SetFilter(QStringLiteral("T99"));
    QApplication::processEvents();
    const double filterMs = Ms(t0);
    std::printf("\ntable list over %d tables (%zu listed, %d read directly)\n", tables, listed, seen);
    std::printf("  %-40s %8.1f ms\n", "names through the sqlite3 library", baseMs);
    std::printf("  %-40s %8.1f ms\n", "catalogue read through the session", readMs);
    std::printf("  %-40s %8.1f ms\n", "dialog filled and shown (read included)", listMs);
    std::printf("  %-40s %8.1f ms\n", "filter \"T99\" over the list", filterMs);
  }
  std::filesystem::remove_all(dir);
  return 0;
}

// Texts of many statements:
//
// 1. Splitting a script of 10,000 statements (comments, quotes, Japanese,
//    triggers and PL/SQL bodies among them), beside a bare scan of the same
//    bytes for ";" (the least any splitter must read).
// 2. Ctrl+Enter in a 10,000-line edit area through the real window: the time
//    from the key to the statement being sent, beside F5 on an edit area that
//    holds only that statement (the run command itself).
//
//   script_bench [statements] [rounds]    (default 10000 7)
//
// QT_QPA_PLATFORM=offscreen needs no display.

#include <sqlite3.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextCursor>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "../BenchPlatform.h"
#include "../BenchTiming.h"
#include "app/ActionModule.h"
#include "app/App.h"
#include "app/MainWindow.h"
#include "core/Sjis.h"
#include "core/StatementSplit.h"
#include "storage/Options.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string Script(int statements) {
  std::string text;
  for (int i = 0; i < statements; ++i) {
    switch (i % 5) {
      case 0: text += "-- 社員 " + std::to_string(i) + "\nSELECT e.EMPNO, '名前; ' || e.ENAME FROM EMP e;\n\n"; break;
      case 1: text += "UPDATE EMP SET SAL = SAL * 1.1 /* 昇給; */ WHERE EMPNO = " + std::to_string(i) + ";\n"; break;
      case 2: text += "CREATE TRIGGER t" + std::to_string(i) + " AFTER INSERT ON EMP BEGIN\n  DELETE FROM LOG;\nEND;\n"; break;
      case 3: text += "BEGIN\n  NULL;\nEND;\n/\n"; break;
      default: text += "SELECT $$a;b$$, \"x;y\" FROM DUAL;\n"; break;
    }
  }
  return SJ(text);
}

void Exec(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  sqlite3_close(db);
}

}  // namespace

int main(int argc, char** argv) {
  const int statements = argc > 1 ? std::max(10, std::atoi(argv[1])) : 10000;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;

  // ---- 1. the splitter
  const std::string script = Script(statements);
  size_t found = 0;
  const double split = Median(rounds, [&] { found = SplitStatements(script).size(); });
  size_t semicolons = 0;
  const double scan = Median(rounds, [&] {
    semicolons = 0;
    for (const char* p = script.data(); (p = static_cast<const char*>(std::memchr(p, ';', script.data() + script.size() - p)));
         ++p)
      ++semicolons;
  });
  std::printf("split %d statements, %zu bytes: %.2f ms, %zu statements (bare scan for \";\": %.3f ms, %zu found)\n",
              statements, script.size(), split, found, scan, semicolons);

  // ---- 2. Ctrl+Enter in the window
  QApplication qapp(argc, argv);
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("script-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  Exec((dir / "quorrel.db").string(), "CREATE TABLE EMP (EMPNO INTEGER, ENAME TEXT); INSERT INTO EMP VALUES (1, 'A');");
  TBenchPlatform platform(dir.string());
  {
    TApp app(platform, MakeFileLocations((dir / "quorrel").string()));
    if (!app.Start()) return 1;
    TfrmMain& main = app.Main();
    main.show();
    TmodAction& actions = app.Action();
    actions.Execute(actions.actConnect);
    if (!main.IsConnected()) return 1;
    app.Options().LogOption = 2;  // no history: the run itself is measured

    // The moment the statement goes to the database.
    Clock::time_point sent{};
    const QString running = QString::fromUtf8("ＳＱＬ処理中...");
    QObject::connect(&main, &TfrmMain::StatusMsgChanged, &main, [&](const QString& text) {
      if (text == running) sent = Clock::now();
    });
    const QString edit = QString::fromStdString(SjisToUtf8(Script(statements * 10 / 24)).c_str());
    const QString one = QStringLiteral("SELECT e.EMPNO FROM EMP e");
    auto timeKey = [&](const QString& text, int caret, Qt::Key key, Qt::KeyboardModifiers mods) {
      main.edtSql->setPlainText(text);
      QTextCursor cursor = main.edtSql->textCursor();
      cursor.setPosition(caret);
      main.edtSql->setTextCursor(cursor);
      main.edtSql->setFocus();
      QCoreApplication::processEvents();
      std::vector<double> t;
      for (int i = 0; i < rounds; ++i) {
        main.edtSql->setFocus();
        main.edtSql->setTextCursor(cursor);
        sent = {};
        const auto t0 = Clock::now();
        QKeyEvent press(QEvent::KeyPress, key, mods);
        QApplication::sendEvent(main.edtSql, &press);
        t.push_back(std::chrono::duration<double, std::milli>(sent - t0).count());
      }
      std::sort(t.begin(), t.end());
      return t[t.size() / 2];
    };
    const int lines = static_cast<int>(edit.count(QLatin1Char('\n')));
    // In the middle of the text, on a query the embedded database takes.
    const int middle = static_cast<int>(edit.indexOf(QStringLiteral("SELECT e.EMPNO"), edit.size() / 2)) + 3;
    const double caret = timeKey(edit, middle, Qt::Key_Return, Qt::ControlModifier);
    const double start = timeKey(one, 0, Qt::Key_F5, Qt::NoModifier);
    std::printf("Ctrl+Enter in a %d-line edit area, key to statement sent: %.2f ms (F5 on the statement alone: %.2f ms)\n",
                lines, caret, start);
    if (platform.errors) std::printf("%d error boxes\n", platform.errors);
  }
  std::filesystem::remove_all(dir);
  return 0;
}

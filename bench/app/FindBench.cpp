// Find through the real program, offscreen, with the only match at the end:
//
// 1. the SQL edit holding a 10,000-line statement: find next from the top,
//    and replace all of a word that occurs on every fifth line (then its
//    undo), next to QString::indexOf over the edit's text and
//    std::string::find over its cp932 bytes;
// 2. the result grid holding 1,000,000 cells (100,000 rows x 10 columns,
//    fetched by a real run): find next from the first cell without and with
//    case and whole words, next to std::string::find over the same bytes and
//    to a QString made of every cell. Also the longest time the window went
//    without handling its messages while it searched.
//
//   find_bench [lines] [rows] [rounds]    (default 10000 100000 5)
//
// QT_QPA_PLATFORM=offscreen needs no display.

#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "BenchPlatform.h"
#include "BenchTiming.h"
#include "app/ActionModule.h"
#include "app/App.h"
#include "app/FindDialog.h"
#include "app/MainWindow.h"
#include "app/QtText.h"
#include "core/FileLocations.h"
#include "storage/Options.h"
#include "views/SqlGrid.h"

namespace {

QString Statement(int lines) {
  QString text;
  for (int i = 0; i < lines - 1; ++i) {
    switch (i % 5) {
      case 0: text += QStringLiteral("SELECT e.EMPNO, e.ENAME, '社員 %1' AS 名前 -- 注釈\n").arg(i); break;
      case 1: text += QStringLiteral("  FROM EMP e /* 結合 */ JOIN DEPT d ON d.DEPTNO = e.DEPTNO\n"); break;
      case 2: text += QStringLiteral(" WHERE e.SAL > %1.5 AND e.JOB IN ('CLERK', 'it''s')\n").arg(i); break;
      case 3: text += QStringLiteral("REM 実行されない行\n"); break;
      default: text += QStringLiteral(" UNION ALL\n"); break;
    }
  }
  return text + QStringLiteral("SELECT '最後の検索対象' FROM DUAL\n");
}

// The longest stretch the event loop went without handling a timer.
class TGapMeter {
 public:
  TGapMeter() {
    timer_.setInterval(1);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { Tick(); });
  }
  void Start() {
    worst_ = 0;
    clock_.start();
    timer_.start();
  }
  double Stop() {
    Tick();
    timer_.stop();
    return worst_;
  }

 private:
  void Tick() {
    worst_ = std::max(worst_, clock_.nsecsElapsed() / 1e6);
    clock_.restart();
  }
  QTimer timer_;
  QElapsedTimer clock_;
  double worst_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::max(10, std::atoi(argv[1])) : 10000;
  const int rows = argc > 2 ? std::max(10, std::atoi(argv[2])) : 100000;
  const int rounds = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
  QApplication qapp(argc, argv);
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("find-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  TBenchPlatform platform(dir.string());
  int failures = 0;
  {
    TApp app(platform, MakeFileLocations((dir / "quorrel").string()));
    if (!app.Start()) return 1;
    TfrmMain& main = app.Main();
    main.resize(1000, 700);
    main.show();
    TmodAction& actions = app.Action();
    platform.OnModal = [](QDialog&) { return int(QDialog::Accepted); };
    actions.Execute(actions.actConnect);
    if (!main.IsConnected()) return 1;
    app.Options().MaxRow = rows;
    // Ten columns, made by the program itself; the match is the last cell
    // of the last row.
    const std::string n = std::to_string(rows);
    for (const std::string& sql :
         {std::string("CREATE TABLE T (N INTEGER, NAME TEXT, A TEXT, B TEXT, C INTEGER, D TEXT, E TEXT, F TEXT, "
                      "G TEXT, H TEXT)"),
          "WITH RECURSIVE s(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM s WHERE n < " + n + ") "
          "INSERT INTO T SELECT n, 'name' || n, '社員' || n, 'Sales Dept', n * 7, 'abcdefghij', '東京都千代田区', "
          "'x', 'the quick brown fox', CASE WHEN n = " + n + " THEN '最後の検索対象' ELSE '対象外' END FROM s"}) {
      main.edtSql->setPlainText(QString::fromStdString(sql));
      actions.Execute(actions.actStart);
    }
    QCoreApplication::processEvents();
    const QString needle = QStringLiteral("最後の検索対象");

    // ---- the SQL edit
    QPlainTextEdit* edit = main.edtSql;
    edit->setPlainText(Statement(lines));
    edit->setFocus();
    QCoreApplication::processEvents();
    actions.Execute(actions.actFind);
    auto* find = main.findChild<TfrmFind*>();
    find->edtFind->setText(needle);
    const int expected = static_cast<int>(edit->toPlainText().lastIndexOf(needle));
    const double sqlFind = Median(rounds, [&] {
      edit->moveCursor(QTextCursor::Start);
      actions.Execute(actions.actFindNext);
    });
    if (edit->textCursor().selectionStart() != expected) {
      std::fprintf(stderr, "edit: found at %d, not %d\n", edit->textCursor().selectionStart(), expected);
      ++failures;
    }
    const QString text = edit->toPlainText();
    const std::string bytes = FromQ(text), sjisNeedle = FromQ(needle);
    size_t sink = 0;
    const double sqlIndexOf = Median(rounds, [&] { sink += static_cast<size_t>(text.indexOf(needle)); });
    const double sqlBytes = Median(rounds, [&] { sink += bytes.find(sjisNeedle); });
    std::printf("edit, %d lines, %zu bytes, match at the end: find next %.2f ms "
                "(QString::indexOf %.2f ms, std::string::find %.2f ms)\n",
                lines, bytes.size(), sqlFind, sqlIndexOf, sqlBytes);

    find->edtFind->setText(QStringLiteral("EMP"));
    find->edtReplace->setText(QStringLiteral("EMPLOYEE"));
    find->chkWord->setChecked(true);
    int replaced = 0;
    const double replaceAll = Ms([&] { replaced = find->ReplaceAll(); });
    const double undo = Ms([&] { edit->undo(); });
    if (edit->toPlainText() != text) {
      std::fprintf(stderr, "edit: undo did not restore the text\n");
      ++failures;
    }
    std::printf("edit: replace all of %d words %.0f ms, its undo %.0f ms\n", replaced, replaceAll, undo);
    find->chkWord->setChecked(false);
    edit->clear();

    // ---- the result grid
    main.SetSqlLines({"select * from T"});
    const double fetch = Ms([&] { actions.Execute(actions.actStart); });
    TSqlGrid& grid = main.Grid();
    const long cells = static_cast<long>(grid.RowCount() - 1) * (grid.ColCount() - 1);
    std::printf("grid: %d rows x %d columns fetched in %.0f ms\n", grid.RowCount() - 1, grid.ColCount() - 1, fetch);
    main.activateWindow();
    grid.setFocus();
    QCoreApplication::processEvents();
    find->rdoGrid->setChecked(true);  // as the focus would have chosen
    find->edtFind->setText(needle);

    std::string all;
    for (int r = 1; r < grid.RowCount(); ++r)
      for (int c = 1; c < grid.ColCount(); ++c) {
        all.append(grid.CellView(c, r));
        all.push_back('\t');
      }
    const double baseline = Median(rounds, [&] { sink += all.find(sjisNeedle); });
    const double perCell = Ms([&] {
      for (int r = 1; r < grid.RowCount(); ++r)
        for (int c = 1; c < grid.ColCount(); ++c)
          if (ToQ(grid.CellView(c, r)).contains(needle, Qt::CaseInsensitive)) sink += static_cast<size_t>(r);
    });

    TGapMeter gaps;
    const struct {
      const char* Name;
      bool MatchCase, WholeWord;
    } modes[] = {{"ignoring case", false, false}, {"matching case", true, false}, {"whole words", false, true}};
    for (const auto& m : modes) {
      find->chkCase->setChecked(m.MatchCase);
      find->chkWord->setChecked(m.WholeWord);
      double worstGap = 0;
      const double t = Median(rounds, [&] {
        grid.FocusCell(1, 1, true);
        gaps.Start();
        actions.Execute(actions.actFindNext);
        worstGap = std::max(worstGap, gaps.Stop());
      });
      if (grid.Row() != grid.RowCount() - 1 || grid.Col() != grid.ColCount() - 1) {
        std::fprintf(stderr, "grid %s: found at %d,%d\n", m.Name, grid.Col(), grid.Row());
        ++failures;
      }
      std::printf("grid, %ld cells, %zu bytes, match in the last cell, %s: find next %.1f ms, "
                  "longest time without messages %.0f ms\n",
                  cells, all.size(), m.Name, t, worstGap);
    }
    std::printf("grid baselines: std::string::find over the same bytes %.1f ms; a QString per cell %.0f ms\n",
                baseline, perCell);
    if (sink == 42) std::printf(" ");
    actions.Execute(actions.actDisConnect);
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return failures ? 1 : 0;
}

// The sort dialog and the compare wizard on large results, against the main
// grid's fill of the same result and the system's `sort` over the same data
// as CSV (baselines measured in the same run).
//
//   sortdiff_bench [sort rows] [compare rows] [runs]   (defaults 1000000, 100000, 3)
//
// Sort: OK on two keys (JOB ascending, SAL descending), to the last row in
// the grid; the grid fill is the same result added row by row as a run does.
// Compare: two results of the given rows, as CSV files; the loading of both
// and OK are timed apart. Medians of the runs are printed.
//
// QT_QPA_PLATFORM=offscreen needs no display.

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "BenchPlatform.h"
#include "app/Platform.h"
#include "core/Sjis.h"
#include "core/SqlInfo.h"
#include "storage/ResultFile.h"
#include "views/DiffDialog.h"
#include "views/GridText.h"
#include "views/ResultHost.h"
#include "views/ResultPresenter.h"
#include "views/SortDialog.h"
#include "views/SqlGrid.h"
#include "BenchMemory.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

// Processor time of this process, which a busy shared machine disturbs less.
double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The main window as the dialogs see it: a result set shown in a grid.
class TBenchHost final : public TResultHost {
 public:
  TBenchHost(TSqlInfo& info, TSqlGrid& grid) : info_(info), grid_(grid) {}
  int MaxLog() override { return 10; }
  std::string LogDir() override { return {}; }
  void BeginBusy() override { QCoreApplication::processEvents(); }
  void EndBusy() override {}
  void NewMain() override {
    info_.Clear();
    QCoreApplication::processEvents();
  }
  TSqlInfo& MainResult() override { return info_; }
  void SetSqlLines(const TStrings&) override {}
  void SetStatusMsg(std::string_view) override {}
  void RefreshMain() override { grid_.Refresh(); }
  void FocusMainGrid() override {}
  void ErrorBox(const QString& title, const QString& text) override { platform_.ErrorBox(title, text); }
  bool OpenFileDialog(TFileDialogSpec& spec, QString& fileName) override {
    return platform_.OpenFileDialog(spec, fileName);
  }
  QString Title() override { return QStringLiteral("bench"); }
  TStrings SqlLines() override { return {}; }
  void ProcessMessages() override { QCoreApplication::processEvents(); }
  const TfrmLog& History() override { return *log_; }
  void SetHistory(TfrmLog& log) { log_ = &log; }

 private:
  TSqlInfo& info_;
  TSqlGrid& grid_;
  TBenchPlatform platform_{std::string()};
  TfrmLog* log_ = nullptr;
};

const char* kNames[] = {"SMITH", "ALLEN", "WARD", "JONES", "MARTIN", "BLAKE", "CLARK", "SCOTT"};
const char* kHeads[] = {"EMPNO", "ENAME", "JOB", "DNAME", "HIREDATE", "SAL", "COMM", "FLAG"};
const int kTypes[] = {2, 1, 1, 1, 12, 2, 2, 96};

// Cell c (1..8) of row r, the same mix as the grid benchmark.
std::string MakeCell(int r, int c) {
  static const std::string jp[] = {SJ("営業部"), SJ("経理部"), SJ("開発部"), SJ("総務部")};
  switch (c) {
    case 1: return std::to_string(r);
    case 2: return kNames[r % 8];
    case 3: return r % 3 ? "CLERK" : "SALESMAN";
    case 4: return jp[r % 4];
    case 5: {
      char date[32];
      std::snprintf(date, sizeof date, "2024/%02d/%02d 09:30:00", 1 + r % 12, 1 + r % 28);
      return date;
    }
    case 6: return std::to_string(800 + (r * 37) % 5000);
    case 7: return r % 4 ? "" : std::to_string(r % 1400);
    default: return r % 2 ? "Y" : "N";
  }
}

// Fills the main result as a run does.
void Fill(TSqlInfo& info, int rows) {
  info.Clear();
  info.SetColCount(8);
  for (int i = 0; i < 8; ++i) {
    info.SetColName(i, kHeads[i]);
    info.DefineColumn(i, kTypes[i], 20, 10, 0);
  }
  info.SetRowCount(rows);
  auto last = Clock::now();
  for (int r = 1; r <= rows; ++r) {
    info.AddRow();
    info.SetRowPos(r);
    for (int c = 1; c <= 8; ++c) info.SetCell(c, r, MakeCell(r, c));
    info.AltRow = !info.AltRow;
    if (Since(last) > 0.01) {
      QCoreApplication::processEvents();
      last = Clock::now();
    }
  }
  QCoreApplication::processEvents();
}

// A CSV file of rows; `changed` alters every so many rows' SAL, and rows
// divisible by `skip` are left out.
void WriteCsv(const std::string& path, int rows, int changed, int skip) {
  std::string text;
  for (int c = 0; c < 8; ++c) text += std::string(kHeads[c]) + ",";
  text += "\r\n";
  for (int r = 1; r <= rows; ++r) {
    if (skip && r % skip == 0) continue;
    for (int c = 1; c <= 8; ++c) {
      std::string v = MakeCell(r, c);
      if (c == 6 && changed && r % changed == 0) v += "0";
      if (v.find(' ') != std::string::npos) v = "\"" + v + "\"";
      text += v + ",";
    }
    text += "\r\n";
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

double TimeCommand(const std::string& command) {
  const auto t0 = Clock::now();
  if (std::system(command.c_str()) != 0) std::fprintf(stderr, "failed: %s\n", command.c_str());
  return Since(t0);
}

void AddKey(TKeyLists& keys, int column, bool descending) {
  for (int i = 0; i < keys.lstCols->count(); ++i)
    if (keys.lstCols->item(i)->data(Qt::UserRole).toInt() == column) keys.lstCols->setCurrentRow(i);
  keys.actKeyAdd->trigger();
  if (descending) keys.lstKeys->currentItem()->setCheckState(Qt::Checked);
}

}  // namespace

int main(int argc, char** argv) {
  const int sortRows = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const int diffRows = argc > 2 ? std::atoi(argv[2]) : 100000;
  const int runs = std::max(argc > 3 ? std::atoi(argv[3]) : 3, 1);
  QApplication app(argc, argv);
  InstallFontSubstitutions();

  TSqlInfo info;
  TSqlGrid grid;
  grid.resize(1200, 800);
  TResultPresenter presenter(info, grid, {});
  presenter.Install();
  grid.show();
  TBenchHost host(info, grid);
  TfrmLog log(nullptr, nullptr);
  host.SetHistory(log);
  TfrmSort sort(host, nullptr);
  TfrmDiff diff(host, nullptr);
  app.processEvents();

  const std::string dir = std::filesystem::temp_directory_path() / ("sortdiff_bench_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);

  // Sort against the fill of the same result and against sort(1).
  WriteCsv(dir + "/sort.csv", sortRows, 0, 0);
  std::vector<double> fills, sorts, unixSorts, fillCpu, sortCpu;
  long sortPeak = 0, filled = 0;
  for (int i = 0; i < runs; ++i) {
    const auto f0 = Clock::now();
    double cpu = CpuSeconds();
    Fill(info, sortRows);
    fills.push_back(Since(f0));
    fillCpu.push_back(CpuSeconds() - cpu);
    filled = CurrentRssBytes();
    sort.Prepare();
    AddKey(*sort.keys, 3, false);
    AddKey(*sort.keys, 6, true);
    const auto s0 = Clock::now();
    cpu = CpuSeconds();
    sort.actOk->trigger();
    app.processEvents();
    sorts.push_back(Since(s0));
    sortCpu.push_back(CpuSeconds() - cpu);
    sortPeak = std::max(sortPeak, PeakRssBytes());
    unixSorts.push_back(TimeCommand("LC_ALL=C sort -t, -k3,3 -k6,6r " + dir + "/sort.csv > /dev/null"));
  }
  const bool sorted = info.RowPos() == sortRows && grid.Cells(3, 1) == "CLERK" && grid.Cells(3, sortRows) == "SALESMAN";

  // Compare two results: the target has every 10th SAL changed and every
  // 50th row missing.
  WriteCsv(dir + "/source.csv", diffRows, 0, 0);
  WriteCsv(dir + "/target.csv", diffRows, 10, 50);
  std::vector<double> loads, compares, unixDiffs, compareCpu;
  for (int i = 0; i < runs; ++i) {
    info.Clear();
    app.processEvents();
    diff.Prepare();
    diff.edtSourceIsFile->setText(QString::fromStdString(dir + "/source.csv"));
    diff.edtTargetIsFile->setText(QString::fromStdString(dir + "/target.csv"));
    const auto l0 = Clock::now();
    diff.actNext->trigger();
    diff.actNext->trigger();
    loads.push_back(Since(l0));
    AddKey(*diff.keys, 1, false);
    const auto c0 = Clock::now();
    const double cpu = CpuSeconds();
    diff.actOk->trigger();
    app.processEvents();
    compares.push_back(Since(c0));
    compareCpu.push_back(CpuSeconds() - cpu);
    unixDiffs.push_back(TimeCommand("LC_ALL=C sort -t, -k1,1 " + dir + "/source.csv > /dev/null && LC_ALL=C sort -t, -k1,1 " +
                                    dir + "/target.csv > /dev/null"));
  }
  const int diffOut = info.RowPos();
  std::filesystem::remove_all(dir);

  const double fill = Median(fills), sortTime = Median(sorts);
  std::printf("sort %d x 8 on two keys (medians of %d runs)%s\n", sortRows, runs, sorted ? "" : "  ** WRONG ORDER **");
  std::printf("  grid fill of the result  %.3f s  (%.3f s processor time)\n", fill, Median(fillCpu));
  std::printf("  sort, OK to last row     %.3f s  = %.2f x the fill  (%.3f s processor time = %.2f x)\n", sortTime,
              sortTime / fill, Median(sortCpu), Median(sortCpu) / Median(fillCpu));
  std::printf("  sort(1) -t, -k3 -k6r     %.3f s  (baseline)\n", Median(unixSorts));
  std::printf("  RSS after the fill %.1f MiB, peak %.1f MiB\n", filled / 1048576.0, sortPeak / 1048576.0);
  std::printf("compare %d x 8 against %d x 8 (%d output rows)\n", diffRows, diffRows - diffRows / 50, diffOut);
  std::printf("  loading both files       %.3f s\n", Median(loads));
  std::printf("  compare, OK to last row  %.3f s  (%.3f s processor time)\n", Median(compares), Median(compareCpu));
  std::printf("  sort(1) of both files    %.3f s  (baseline)\n", Median(unixDiffs));
  return 0;
}

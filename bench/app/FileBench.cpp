// Exports and imports a large result through the real main window and its
// file commands, offscreen: CSV, XML and the Excel workbook, each timed
// (median of several runs, with the CPU time beside it) with the memory it
// takes, next to the time that merely reading and writing the same bytes
// needs (the baseline, measured in the same run). The workbook is set
// against the Shift_JIS CSV export of the same result.
//
//   file_bench [rows] [runs]    (default 1000000 rows of 8 columns, 3 runs)
//
// QT_QPA_PLATFORM=offscreen needs no display.

#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "BenchPlatform.h"
#include "app/ActionModule.h"
#include "app/App.h"
#include "app/MainWindow.h"
#include "app/OptionDialog.h"
#include "core/FileLocations.h"
#include "core/Sjis.h"
#include "storage/AtomicFile.h"
#include "storage/ResultFile.h"
#include "BenchMemory.h"

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// The peak resident size since the last reset, in bytes (VmHWM).
long PeakSinceReset() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6) * 1024L;
  return PeakRssBytes();
}

void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// The process's CPU time: on a machine shared with other work the wall time
// says more about the neighbours than about the program.
double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A result file as the program writes it: names, then rows of 8 values,
// every record ended by a comma and CR LF; cp932 with Japanese text.
std::string MakeCsv(int rows) {
  static const char* const kCities[] = {"東京", "大阪", "名古屋", "Sapporo"};
  std::string cities[4];
  for (int i = 0; i < 4; ++i) cities[i] = SJ(kCities[i]);
  const std::string customer = SJ("顧客");
  std::string out = "ID,CODE,NAME,CITY,QTY,PRICE,CREATED,NOTE,\r\n";
  out.reserve(static_cast<size_t>(rows) * 80);
  char buffer[160];
  for (int n = 1; n <= rows; ++n) {
    std::snprintf(buffer, sizeof buffer, "%d,C%05d,%s%d,%s,%d,%d.%02d,\"2024/%02d/%02d 12:%02d:00\",\"note %d\",\r\n", n,
                  n % 100000, customer.c_str(), n, cities[n % 4].c_str(), n % 1000, n % 100000 / 100, n % 100,
                  n % 12 + 1, n % 28 + 1, n % 60, n * 7 % 1000);
    out += buffer;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  QApplication application(argc, argv);
  application.setQuitOnLastWindowClosed(false);

  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("quorrel-file-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string source = (dir / "source.csv").string();
  const std::string csv = (dir / "out.csv").string();
  const std::string xml = (dir / "out.xml").string();
  const std::string xlsx = (dir / "out.xlsx").string();
  {
    const std::string bytes = MakeCsv(rows);
    if (!WriteFileAtomic(source, bytes)) return 1;
  }
  std::printf("result: %d rows x 8 columns, CSV %.1f MB\n", rows, std::filesystem::file_size(source) / 1048576.0);

  int status = 0;
  {
    TBenchPlatform platform(dir.string());
    TApp app(platform, MakeFileLocations((dir / "quorrel").string()));
    if (!app.Start()) return 1;
    TfrmMain& main = app.Main();
    main.resize(1200, 800);
    main.show();
    application.processEvents();
    TmodAction& actions = app.Action();
    actions.Execute(actions.actConnect);
    if (!main.IsConnected()) return 1;

    struct TStep {
      const char* Name;
      QAction* Action;
      std::string File;   // answered to the file dialog
      std::string Sized;  // the file whose size the memory is set against
      bool Import;
      std::vector<double> Seconds;
      std::vector<double> Baseline;
      std::vector<double> Format;
      long Peak = 0, Kept = 0;
      std::vector<double> Cpu{};
    };
    std::vector<TStep> steps = {
        {"import CSV", actions.actImport, source, source, true, {}, {}, {}},
        {"export CSV", actions.actExport, csv, csv, false, {}, {}, {}},
        {"export XLSX", actions.actExport, xlsx, xlsx, false, {}, {}, {}},
        {"export XML", actions.actExport, xml, xml, false, {}, {}, {}},
        {"import XML", actions.actImport, xml, xml, true, {}, {}, {}},
    };
    for (int run = 0; run < runs; ++run) {
      for (TStep& step : steps) {
        if (step.Import) actions.Execute(actions.actNew);
        application.processEvents();
        const long before = CurrentRssBytes();
        ResetPeak();
        platform.answers.push_back(QString::fromStdString(step.File));
        const double cpu0 = CpuSeconds();
        auto t0 = Clock::now();
        actions.Execute(step.Action);
        step.Seconds.push_back(Since(t0));
        step.Cpu.push_back(CpuSeconds() - cpu0);
        // A CSV file declares no types: the columns get those of the table
        // the rows came from, so the workbook has numbers and dates to write.
        if (step.Import) {
          TSqlInfo& info = main.SqlInfo();
          const int types[] = {otNumber, otVarchar2, otVarchar2, otVarchar2, otNumber, otNumber, otDate, otVarchar2};
          for (int i = 0; i < info.ColCount() && i < 8; ++i) info.SetColTypeCode(i, types[i]);
        }
        step.Peak = std::max(step.Peak, PeakSinceReset() - before);
        step.Kept = CurrentRssBytes() - before;
        {
          // Baselines: an import against reading the file and loading it into
          // a result set that keeps no cells (the format alone); an export
          // against writing the same bytes (flushed to the device as well).
          std::string bytes;
          auto t1 = Clock::now();
          ReadWholeFile(step.Sized, bytes);
          if (step.Import) {
            step.Baseline.push_back(Since(t1));
            TSqlInfo bare;
            t1 = Clock::now();
            OpenResultFile(bare, step.Sized);
            step.Format.push_back(Since(t1));
          } else {
            t1 = Clock::now();
            WriteFileAtomic((dir / "copy").string(), bytes);
            step.Baseline.push_back(Since(t1));
          }
        }
        if (main.SqlInfo().RowCount() != rows) {
          std::fprintf(stderr, "%s: %d rows\n", step.Name, main.SqlInfo().RowCount());
          status = 1;
        }
      }
    }
    for (const TStep& step : steps) {
      const double size = static_cast<double>(std::filesystem::file_size(step.Sized));
      std::printf("%-11s %6.2f s (median of %d, CPU %5.2f s); baseline: %s %5.2f s", step.Name, Median(step.Seconds),
                  runs, Median(step.Cpu), step.Import ? "read" : "write", Median(step.Baseline));
      if (step.Import) std::printf(", load without the grid %5.2f s", Median(step.Format));
      std::printf("; file %6.1f MB, peak +%6.1f MB (%.2f x file), kept +%6.1f MB\n", size / 1048576.0,
                  step.Peak / 1048576.0, step.Peak / size, step.Kept / 1048576.0);
    }
    const TStep& csvStep = steps[1];
    const TStep& xlsxStep = steps[2];
    std::printf("export XLSX against export CSV: %.2f x the time, %.2f x the CPU time (target 3 x); peak %+.1f MB "
                "over the result's own (target 50 MB)\n",
                Median(xlsxStep.Seconds) / Median(csvStep.Seconds), Median(xlsxStep.Cpu) / Median(csvStep.Cpu),
                xlsxStep.Peak / 1048576.0);
    std::printf("peak resident size of the process: %.1f MB\n", PeakRssBytes() / 1048576.0);
    if (platform.errors) status = 1;
  }
  std::filesystem::remove_all(dir);
  return status;
}

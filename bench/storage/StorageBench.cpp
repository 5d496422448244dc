// Saves and loads a generated result as CSV and as XML and prints the time
// and the peak memory of each operation.
//
//   storage_bench [rows [columns [directory]]]     (default 100000 8 /tmp)

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "BenchMemory.h"
#include "core/Sjis.h"
#include "core/SqlInfo.h"
#include "storage/ResultCsv.h"
#include "storage/ResultXml.h"

namespace {

// The owner's cell store, one string per cell as a grid would hold them.
struct TStore {
  int cols = 0;
  std::vector<std::vector<std::string>> rows;  // row 0: names

  void Attach(TSqlInfo& info) {
    info.OnGetCell = [this](TSqlInfo&, int c, int r) {
      return r < static_cast<int>(rows.size()) && c >= 1 && c <= cols ? rows[r][c - 1] : std::string();
    };
    info.OnSetCell = [this](TSqlInfo&, int c, int r, std::string_view t) {
      if (c < 1 || c > cols) return;
      if (r >= static_cast<int>(rows.size())) rows.resize(r + 1, std::vector<std::string>(cols));
      rows[r][c - 1] = t;
    };
    info.OnColCount = [this](TSqlInfo& s) {
      cols = s.ColCount();
      rows.assign(1, std::vector<std::string>(cols));
    };
    info.OnColName = [this](TSqlInfo& s, int i) { rows[0][i] = s.ColName(i); };
  }
};

// The peak since the last ResetPeak: the kernel's high-water mark, which
// clear_refs resets (getrusage's maximum never goes down).
long PeakKb() {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

// Lets the peak start again from the current size (Linux 4.0 and later).
void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

long FileKb(const std::string& path) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  return static_cast<long>(in.tellg() / 1024);
}

void Measure(const char* what, const std::string& file, const std::function<void()>& op) {
  const long before = CurrentRssBytes() / 1024;
  ResetPeak();
  const auto t0 = std::chrono::steady_clock::now();
  op();
  const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  std::printf("%-9s %8.3f s   peak RSS %7ld KiB (%+7ld KiB over %7ld KiB before)   file %7ld KiB\n", what, s, PeakKb(),
              PeakKb() - before, before, FileKb(file));
}

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 100000;
  const int cols = argc > 2 ? std::atoi(argv[2]) : 8;
  const std::string dir = argc > 3 ? argv[3] : "/tmp";
  const std::string base = dir + "/quorrel-bench-" + std::to_string(getpid());

  TSqlInfo source;
  TStore sourceCells;
  sourceCells.Attach(source);
  source.Sql = {"select * from bench"};
  source.SetColCount(cols);
  for (int i = 0; i < cols; ++i) {
    source.SetColName(i, "COLUMN_" + std::to_string(i + 1));
    source.DefineColumn(i, i % 2 ? otVarchar2 : otNumber, 40, 10, 0);
  }
  const std::string kanji = SJ("表示用の日本語テキスト");
  for (int r = 1; r <= rows; ++r) {
    source.AddRow();
    for (int c = 1; c <= cols; ++c) {
      std::string v;
      switch (c % 4) {
        case 0: v = std::to_string(r * 37 + c); break;
        case 1: v = "name " + std::to_string(r) + ", \"quoted\""; break;
        case 2: v = kanji + std::to_string(c); break;
        default: v = r % 10 == 0 ? "line one\r\nline two" : "2006/12/31 23:59:59"; break;
      }
      source.SetCell(c, r, v);
    }
  }
  source.SetRowPos(rows);
  source.SetRowCount(rows);
  source.SetStatus("bench");
  std::printf("%d rows x %d columns\n", rows, cols);

  const std::string csv = base + ".csv", xml = base + ".xml";
  Measure("SaveCsv", csv, [&] { SaveCsv(source, csv); });
  Measure("SaveXml", xml, [&] { SaveXml(source, xml); });
  sourceCells.rows.clear();
  sourceCells.rows.shrink_to_fit();

  {
    TSqlInfo target;
    TStore cells;
    cells.Attach(target);
    Measure("LoadCsv", csv, [&] { LoadCsv(target, csv); });
    if (target.RowMax() != rows) std::printf("LoadCsv read %d rows\n", target.RowMax());
  }
  {
    TSqlInfo target;
    TStore cells;
    cells.Attach(target);
    Measure("LoadXml", xml, [&] { LoadXml(target, xml); });
    if (target.RowMax() != rows || target.Status() != "bench")
      std::printf("LoadXml read %d rows, status %s\n", target.RowMax(), target.Status().c_str());
  }
  std::remove(csv.c_str());
  std::remove(xml.c_str());
  return 0;
}

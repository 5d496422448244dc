// Fills the main result grid the way a query run does (result set events
// into the presenter) and prints the fill time, the memory per cell and the
// time of one full-window paint while scrolling, also over long texts.
//
//   grid_bench [rows] [paint frames] [picture.png]   (defaults 1000000, 200, none)
//
// The picture is the first painted frame, for a look at the result.
//
// Runs on any Qt platform; QT_QPA_PLATFORM=offscreen needs no display.

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/Sjis.h"
#include "core/SqlInfo.h"
#include "views/GridText.h"
#include "views/ResultPresenter.h"
#include "views/SqlGrid.h"
#include "BenchMemory.h"

namespace {

using TClockType = std::chrono::steady_clock;

double Since(TClockType::time_point t0) {
  return std::chrono::duration<double>(TClockType::now() - t0).count();
}

// Processor time of this process, which a busy shared machine disturbs less.
double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

}  // namespace

int main(int argc, char** argv) {
  const int rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
  const int frames = argc > 2 ? std::atoi(argv[2]) : 200;
  QApplication app(argc, argv);
  InstallFontSubstitutions();

  TSqlInfo info;
  TSqlGrid grid;
  grid.resize(1200, 800);
  TResultPresenter presenter(info, grid, {});  // the default settings
  presenter.Install();
  info.Clear();
  grid.show();
  app.processEvents();

  // Eight columns like a typical table: numbers, codes, names (some
  // Japanese), dates and amounts.
  const char* names[] = {"SMITH", "ALLEN", "WARD", "JONES", "MARTIN", "BLAKE", "CLARK", "SCOTT"};
  const std::string jp[] = {SJ("営業部"), SJ("経理部"), SJ("開発部"), SJ("総務部")};
  const int types[] = {2, 1, 1, 1, 12, 2, 2, 96};
  const char* heads[] = {"EMPNO", "ENAME", "JOB", "DNAME", "HIREDATE", "SAL", "COMM", "FLAG"};

  const long rss0 = CurrentRssBytes();
  const auto t0 = TClockType::now();
  const double c0 = CpuSeconds();
  info.SetColCount(8);
  for (int i = 0; i < 8; ++i) {
    info.SetColName(i, heads[i]);
    info.DefineColumn(i, types[i], 20, 10, 0);
  }
  size_t textBytes = 0;
  std::string cell;
  auto makeCell = [&](int r, int c) {
      switch (c) {
        case 1: cell = std::to_string(r); break;
        case 2: cell = names[r % 8]; break;
        case 3: cell = r % 3 ? "CLERK" : "SALESMAN"; break;
        case 4: cell = jp[r % 4]; break;
        case 5: {
          char date[32];
          std::snprintf(date, sizeof date, "2024/%02d/%02d 09:30:00", 1 + r % 12, 1 + r % 28);
          cell = date;
          break;
        }
        case 6: cell = std::to_string(800 + (r * 37) % 5000); break;
        case 7: cell = r % 4 ? "" : std::to_string(r % 1400); break;
        case 8: cell.assign(1, r % 2 ? 'Y' : 'N'); break;
      }
  };
  auto lastEvents = TClockType::now();
  for (int r = 1; r <= rows; ++r) {
    info.AddRow();
    for (int c = 1; c <= 8; ++c) {
      makeCell(r, c);
      textBytes += cell.size();
      info.SetCell(c, info.RowMax(), cell);
    }
    info.AltRow = !info.AltRow;
    // As the run driver does: let the window breathe once per time slice.
    if (Since(lastEvents) > 0.02) {
      app.processEvents();
      lastEvents = TClockType::now();
    }
  }
  app.processEvents();
  const double fill = Since(t0);
  const double fillCpu = CpuSeconds() - c0;
  // What making the values alone costs, to tell the grid's share.
  const double g0 = CpuSeconds();
  size_t sink = 0;
  for (int r = 1; r <= rows; ++r)
    for (int c = 1; c <= 8; ++c) {
      makeCell(r, c);
      sink += cell.size();
    }
  const double genCpu = CpuSeconds() - g0;
  const long rss1 = CurrentRssBytes();
  const double cells = static_cast<double>(rows) * 8;

  // Paint the full 1200 x 800 window at positions spread over the result,
  // as thumb tracking does.
  QImage image(grid.size(), QImage::Format_RGB32);
  double paintTotal = 0, paintMax = 0;
  const double pc0 = CpuSeconds();
  for (int f = 0; f < frames; ++f) {
    grid.SetTopRow(1 + static_cast<int>(static_cast<long long>(rows) * f / std::max(frames, 1)));
    const auto p0 = TClockType::now();
    {
      QPainter p(&image);
      grid.render(&p);
    }
    const double t = Since(p0);
    if (f == 0 && argc > 3) image.save(QString::fromLocal8Bit(argv[3]));
    paintTotal += t;
    paintMax = std::max(paintMax, t);
  }

  const double paintCpu = CpuSeconds() - pc0;
  std::printf("rows                 %d x 8 columns\n", rows);
  std::printf("fill                 %.3f s  (%.0f rows/s), %.3f s processor time\n", fill,
              rows / fill, fillCpu);
  std::printf("  of which values    %.3f s processor time (made by this program, %zu bytes)\n",
              genCpu, sink);
  std::printf("  grid share         %.1f ns per cell\n", 1e9 * (fillCpu - genCpu) / cells);
  std::printf("cell text            %.2f bytes/cell\n", textBytes / cells);
  std::printf("memory (RSS growth)  %.2f bytes/cell  -> %.2f bytes/cell above the text\n",
              (rss1 - rss0) / cells, (rss1 - rss0 - static_cast<double>(textBytes)) / cells);
  std::printf("peak RSS             %.1f MiB\n", PeakRssBytes() / 1048576.0);
  std::printf("paint 1200x800       %.3f ms/frame average, %.3f ms worst (%d frames)\n",
              1000 * paintTotal / std::max(frames, 1), 1000 * paintMax, frames);
  std::printf("paint processor time %.3f ms/frame\n", 1000 * paintCpu / std::max(frames, 1));

  // Long texts (a memo column): every third of the first 3000 rows gets
  // 10,000 characters in one column; frames are painted over those rows.
  {
    std::string memo;
    for (int i = 0; i < 5000; ++i) memo += i % 2 ? jp[0].substr(0, 2) : std::string("W");
    for (int r = 1; r <= std::min(rows, 3000); r += 3) info.SetCell(2, r, memo);
    app.processEvents();
    double longTotal = 0, longMax = 0;
    for (int f = 0; f < frames; ++f) {
      grid.SetTopRow(1 + static_cast<int>(static_cast<long long>(std::min(rows, 3000)) * f /
                                          std::max(frames, 1)));
      const auto p0 = TClockType::now();
      {
        QPainter p(&image);
        grid.render(&p);
      }
      const double t = Since(p0);
      longTotal += t;
      longMax = std::max(longMax, t);
    }
    std::printf("paint, long texts    %.3f ms/frame average, %.3f ms worst (10,000 characters"
                " in every third row)\n",
                1000 * longTotal / std::max(frames, 1), 1000 * longMax);
  }

  // One character width: from the grid's cache against asking the font.
  {
    TQtGridMetrics metrics(GridFont());
    QFontMetrics fm(GridFont());
    const uint16_t sample[] = {'A', '0', 'z', 0x82A0, 0x93FA, 0x967B, ' ', 0xB1};
    const int n = 8000000;
    long sum = 0;
    auto m0 = TClockType::now();
    for (int i = 0; i < n; ++i) sum += metrics.CharExtent(sample[i & 7]).Width;
    const double cached = Since(m0) / n;
    QString chars[8];
    for (int i = 0; i < 8; ++i) chars[i] = CharToQString(sample[i]);
    const int k = 400000;
    m0 = TClockType::now();
    for (int i = 0; i < k; ++i) sum += fm.horizontalAdvance(chars[i & 7]);
    const double direct = Since(m0) / k;
    std::printf("character width      %.1f ns cached, %.1f ns from the font (%ld)\n", cached * 1e9,
                direct * 1e9, sum % 10);
  }
  return 0;
}

// Long favourites through the real program, offscreen: a favourites file of
// one statement whose first line is 1, 2 and 3 MB, read at connect into the
// list (shown on screen) and written at disconnect. Each figure is printed
// next to a baseline measured in the same run: a file of the same size whose
// statement is cut into lines of 100 bytes, and the bare file write and read
// of the same bytes. Linear work keeps the long line near its baseline.
//
//   favourite_bench [rounds]    (default 3)
//
// QT_QPA_PLATFORM=offscreen needs no display.

#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "BenchPlatform.h"
#include "app/ActionModule.h"
#include "app/App.h"
#include "app/FavouriteList.h"
#include "app/MainWindow.h"
#include "core/FileLocations.h"
#include "core/Sjis.h"
#include "storage/AtomicFile.h"

#include "BenchTiming.h"

namespace {

using Clock = std::chrono::steady_clock;

// A favourites file of one statement of `bytes` bytes in lines of `lineBytes`.
std::string FavouritesFile(size_t bytes, size_t lineBytes) {
  std::string out = "<?xml version = \"1.0\" encoding = \"Shift_JIS\" ?>\r\n<!--" +
                    SJ("注意！！このファイルを変更しないで下さい。") + "-->\r\n" +
                    "<FreqSql>\r\n\t<Sql>\r\n";
  const std::string word = "select x, y from t where a = 'b' and ";
  for (size_t done = 0; done < bytes;) {
    const size_t n = std::min(lineBytes, bytes - done);
    out += "\t\t<Li>";
    for (size_t i = 0; i < n; ++i) out += word[i % word.size()];
    out += "</Li>\r\n";
    done += n;
  }
  out += "\t</Sql>\r\n</FreqSql>\r\n";
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  QApplication qapp(argc, argv);
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("favourite-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string exe = (dir / "quorrel").string();

  TBenchPlatform platform(dir.string());
  {
    TApp app(platform, MakeFileLocations(exe));
    if (!app.Start()) return 1;
    TfrmMain& main = app.Main();
    main.show();
    QCoreApplication::processEvents();
    TmodAction& actions = app.Action();
    platform.OnModal = [](QDialog&) { return int(QDialog::Accepted); };
    const std::string& freq = app.Files().FreqFile;

    for (size_t mb : {1, 2, 3}) {
      const size_t bytes = mb << 20;
      double connect[2], disconnect[2];
      std::string file;
      for (int shape = 0; shape < 2; ++shape) {
        file = FavouritesFile(bytes, shape == 0 ? bytes : 100);
        std::vector<double> in, out;
        for (int r = 0; r < rounds; ++r) {
          WriteFileAtomic(freq, file);
          in.push_back(Ms([&] {
            actions.Execute(actions.actConnect);
            QCoreApplication::processEvents();  // the list is painted
          }));
          if (!main.IsConnected() || main.lstFreq->count() != 1) {
            std::fprintf(stderr, "the favourite was not listed\n");
            return 1;
          }
          out.push_back(Ms([&] {
            actions.Execute(actions.actDisConnect);
            QCoreApplication::processEvents();
          }));
        }
        std::sort(in.begin(), in.end());
        std::sort(out.begin(), out.end());
        connect[shape] = in[in.size() / 2];
        disconnect[shape] = out[out.size() / 2];
      }
      const double rawWrite = Median(rounds, [&] { WriteFileAtomic(freq + ".copy", file); });
      const double rawRead = Median(rounds, [&] {
        std::string b;
        ReadWholeFile(freq, b);
      });
      std::printf(
          "favourite of %zu MB: first line whole: connect %.0f ms, disconnect %.0f ms; "
          "in lines of 100 bytes: connect %.0f ms, disconnect %.0f ms; bare file write %.1f ms, read %.1f ms\n",
          mb, connect[0], disconnect[0], connect[1], disconnect[1], rawWrite, rawRead);
      std::fflush(stdout);
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  return 0;
}

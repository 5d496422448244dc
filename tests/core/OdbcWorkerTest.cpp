// The ODBC worker's wait: a stop is told to the job until the job ends, so a
// stop that came before the driver began its statement still reaches it.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "core/sessions/OdbcWorker.h"

namespace {

TEST(OdbcWorker, AStopThatReachedNothingIsToldAgainUntilTheJobEnds) {
  TOdbcWorker worker;
  std::atomic<int> told{0};
  const TDatabase::TBusyHandler stopping = [] { return TBusyAnswer(false); };
  TBusyPace pace(&stopping);
  // The job misses the first stop, as a statement the driver had not yet
  // begun does, and ends at the next one.
  const std::optional<TOdbcStatus> status = worker.Run(
      [&] {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (told.load() < 2 && std::chrono::steady_clock::now() < until)
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return told.load() >= 2 ? TOdbcStatus{} : TOdbcStatus::Failed({1, {}, "not told again"});
      },
      pace, [&] { ++told; });
  ASSERT_TRUE(status);
  EXPECT_TRUE(status->Ok) << status->Error.Text;
  EXPECT_TRUE(pace.Stopped());
  EXPECT_FALSE(worker.GivenUp());
}

}  // namespace

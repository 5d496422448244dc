#pragma once
// The thread that runs an ODBC connection's driver calls, one job at a time,
// while the caller's thread waits and lets the busy handler run at the pace
// of TBusyPace: so the window works meanwhile and a stop reaches the driver.
// A job owns what the driver may touch (shared pointers only): a connection
// that is given up leaves its job to finish alone, after its caller is gone.
// A job hands its outcome back as a status value; anything else it makes
// lives in shared data the caller reads once the job has ended.

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "core/sessions/BusyPace.h"
#include "core/sessions/OdbcHandles.h"

struct TOdbcStatus {
  bool Ok = true;
  TDiag Error;  // when not Ok
  static TOdbcStatus Failed(TDiag error) { return {false, std::move(error)}; }
};

using TOdbcJob = std::function<TOdbcStatus()>;

class TOdbcWorker {
 public:
  TOdbcWorker();
  // Waits for the thread, unless it was given up.
  ~TOdbcWorker();
  TOdbcWorker(const TOdbcWorker&) = delete;
  TOdbcWorker& operator=(const TOdbcWorker&) = delete;

  // Runs job on the worker and waits for its status, asking pace whenever it
  // is due; its stop turn calls onStop (on this thread). Empty when the pace
  // gives up: the job then finishes alone, and the worker takes no more
  // jobs. An exception inside the job comes back as a failed status.
  std::optional<TOdbcStatus> Run(TOdbcJob job, TBusyPace& pace, const std::function<void()>& onStop);

  bool GivenUp() const { return givenUp_; }

 private:
  // What the two threads share.
  struct TState {
    std::mutex Mutex;
    std::condition_variable Wake, Finished;
    TOdbcJob Job;                        // guarded by Mutex: the job to start, empty once started
    std::optional<TOdbcStatus> Outcome;  // guarded by Mutex: the last job's, until taken
    bool Busy = false;                   // guarded by Mutex: a job is given and has not ended
    bool Quit = false;                   // guarded by Mutex
  };
  static void Serve(const std::shared_ptr<TState>& state);

  std::shared_ptr<TState> state_ = std::make_shared<TState>();
  std::thread thread_;
  bool givenUp_ = false;  // the caller's thread only
};

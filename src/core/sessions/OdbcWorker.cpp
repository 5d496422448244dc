#include "core/sessions/OdbcWorker.h"

#include <cassert>
#include <exception>

#include "core/Session.h"
#include "core/Sjis.h"
#include "core/sessions/ServerTypes.h"

TOdbcWorker::TOdbcWorker() : thread_([state = state_] { Serve(state); }) {}

TOdbcWorker::~TOdbcWorker() {
  if (givenUp_) return;
  {
    std::lock_guard lock(state_->Mutex);
    state_->Quit = true;
  }
  state_->Wake.notify_all();
  thread_.join();
}

void TOdbcWorker::Serve(const std::shared_ptr<TState>& state) {
  std::unique_lock lock(state->Mutex);
  for (;;) {
    state->Wake.wait(lock, [&] { return state->Job || state->Quit; });
    if (!state->Job) return;
    TOdbcJob job = std::move(state->Job);
    state->Job = nullptr;
    lock.unlock();
    TOdbcStatus status;
    try {
      status = job();
    } catch (const TSessionError& e) {
      status = TOdbcStatus::Failed({e.ServerErr, {}, e.Text});
    } catch (...) {
      status = TOdbcStatus::Failed({0, {}, {}});
    }
    // What the job holds (a given-up connection's handles among it) is let
    // go here, after the driver has returned.
    job = nullptr;
    lock.lock();
    state->Outcome = std::move(status);
    state->Busy = false;
    state->Finished.notify_all();
    if (state->Quit) return;
  }
}

std::optional<TOdbcStatus> TOdbcWorker::Run(TOdbcJob job, TBusyPace& pace, const std::function<void()>& onStop) {
  assert(!givenUp_);
  std::unique_lock lock(state_->Mutex);
  assert(!state_->Busy && !state_->Job);  // one job at a time
  state_->Job = std::move(job);
  state_->Busy = true;
  state_->Outcome.reset();
  state_->Wake.notify_all();
  const auto done = [&] { return !state_->Busy; };
  if (!pace.Active()) {
    state_->Finished.wait(lock, done);
  } else {
    while (!state_->Finished.wait_until(lock, pace.Due(), done)) {
      lock.unlock();
      const TBusyPace::TTurn turn = pace.Ask();
      if (turn == TBusyPace::TTurn::Stop) onStop();
      if (turn == TBusyPace::TTurn::GiveUp) {
        {
          std::lock_guard quit(state_->Mutex);
          state_->Quit = true;
        }
        givenUp_ = true;
        thread_.detach();
        return std::nullopt;
      }
      lock.lock();
    }
  }
  std::optional<TOdbcStatus> outcome = std::move(state_->Outcome);
  state_->Outcome.reset();
  assert(outcome);
  return outcome;
}

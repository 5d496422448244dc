#include "core/sessions/OdbcKeeper.h"

#include <cassert>
#include <utility>

TBlockKeeper::TBlockKeeper(const TOdbcRows& rows, TKeptRows& kept)
    : rows_(rows), kept_(kept), thread_([this] { Run(); }) {}

TBlockKeeper::~TBlockKeeper() {
  {
    std::lock_guard lock(mutex_);
    ending_ = true;
  }
  handed_.notify_one();
  thread_.join();
}

void TBlockKeeper::Hand(size_t slot, SQLULEN count) {
  {
    std::lock_guard lock(mutex_);
    assert(!Holds(slot));  // the driver has just filled it
    assert(!ending_);
    waiting_.push_back({slot, count});
  }
  handed_.notify_one();
}

bool TBlockKeeper::Holds(size_t slot) const {
  if (keeping_ && current_.Slot == slot) return true;
  for (const TBlock& b : waiting_)
    if (b.Slot == slot) return true;
  return false;
}

void TBlockKeeper::WaitFree(size_t slot) {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return !Holds(slot); });
}

void TBlockKeeper::Drain() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [&] { return waiting_.empty() && !keeping_; });
  if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void TBlockKeeper::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    handed_.wait(lock, [&] { return ending_ || !waiting_.empty(); });
    if (waiting_.empty()) return;  // ending, with nothing left to keep
    current_ = waiting_.front();
    waiting_.pop_front();
    keeping_ = true;
    const TBlock block = current_;
    const bool failed = failure_ != nullptr;
    lock.unlock();
    std::exception_ptr failure;
    // After a failure the rows are not whole any more: the rest is dropped.
    if (!failed) {
      try {
        KeepFittingBlock(rows_, block.Slot, block.Count, scratch_, kept_);
      } catch (...) {
        failure = std::current_exception();
      }
    }
    lock.lock();
    keeping_ = false;
    if (failure) failure_ = failure;
    done_.notify_all();
  }
}

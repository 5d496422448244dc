#pragma once
// Keeps the blocks of a query's rows on a thread of its own while the
// connection's worker has the driver fetch the next one into another slot:
// the driver's work and the turning of its values into cells overlap, each
// on a processor of its own.
//
// The worker hands a block over once the driver has filled its slot, and
// waits for a slot to be free before the driver fills it again. The kept
// rows belong to the keeper from the first block handed over until Drain
// returns; the worker may read or add to them only after that.

#include <sql.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "core/sessions/KeptRows.h"
#include "core/sessions/OdbcBlocks.h"

class TBlockKeeper {
 public:
  // rows.Bound must not change while the keeper lives.
  TBlockKeeper(const TOdbcRows& rows, TKeptRows& kept);
  ~TBlockKeeper();  // drains, then ends the thread
  TBlockKeeper(const TBlockKeeper&) = delete;
  TBlockKeeper& operator=(const TBlockKeeper&) = delete;

  // Hands over rows [0, count) of slot's block, every value of which fits
  // its buffer, to be kept after the blocks handed over before it.
  void Hand(size_t slot, SQLULEN count);
  // Waits until no block handed over lies in slot.
  void WaitFree(size_t slot);
  // Waits until every block handed over is kept. Rethrows what keeping one
  // threw (memory running out).
  void Drain();

 private:
  struct TBlock {
    size_t Slot;
    SQLULEN Count;
  };
  bool Holds(size_t slot) const;  // with mutex_ held
  void Run();

  const TOdbcRows& rows_;
  TKeptRows& kept_;  // the thread's while a block is handed over
  TCellScratch scratch_;  // the thread's alone
  std::mutex mutex_;
  std::condition_variable handed_, done_;
  std::deque<TBlock> waiting_;  // guarded by mutex_: handed over, in order
  bool keeping_ = false;        // guarded by mutex_: the thread keeps `current_`
  TBlock current_{};            // guarded by mutex_
  bool ending_ = false;         // guarded by mutex_
  std::exception_ptr failure_;  // guarded by mutex_: what keeping threw
  std::thread thread_;
};

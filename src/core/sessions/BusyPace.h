#pragma once
// The pace at which a server backend lets its busy handler run while it
// waits on a server or a driver, and what the handler's answers do: a stop
// answer asks the server to stop the statement, and the ask is repeated at
// kStopAgain while the call lasts (a stop that came before the driver began
// the statement reached nothing, the next one reaches it); a give-up answer
// leaves the server kAbandonAfter to answer the stop before the waiting side
// gives the connection up. Shared by the ODBC worker and the PostgreSQL
// link, so both backends stop and give up alike.

#include <chrono>

#include "core/Session.h"

// How often the busy handler runs while a call waits.
inline constexpr std::chrono::milliseconds kBusyStep{10};
// How long a server that was asked to stop may take before a handler that
// gives up drops the connection.
inline constexpr std::chrono::seconds kAbandonAfter{1};
// How often a stop is told again while the stopped call goes on.
inline constexpr std::chrono::milliseconds kStopAgain{50};

class TBusyPace {
 public:
  using Clock = std::chrono::steady_clock;
  // What a stop answer does to the call at hand: ask the server to stop it
  // (a statement), or give it up at once (a logon, which has nothing the
  // server could be asked to stop).
  enum class TOnStop { Cancel, GiveUp };
  // What the waiting side does after an answer: wait on; stop the call (at
  // the first stop answer, and again every kStopAgain after it); give the
  // connection up.
  enum class TTurn { Wait, Stop, GiveUp };

  // handler may be null or empty: the call then waits without it. It must
  // outlive the pace.
  explicit TBusyPace(const TDatabase::TBusyHandler* handler, TOnStop onStop = TOnStop::Cancel)
      : handler_(handler && *handler ? handler : nullptr), onStop_(onStop), due_(Clock::now() + kBusyStep) {}

  bool Active() const { return handler_ != nullptr; }
  // When the handler is to run next.
  Clock::time_point Due() const { return due_; }
  bool Stopped() const { return stopped_; }

  // Runs the handler (the caller has waited until Due) and says what to do.
  TTurn Ask();

 private:
  const TDatabase::TBusyHandler* handler_;
  TOnStop onStop_;
  Clock::time_point due_;
  bool stopped_ = false;
  Clock::time_point stopAgainAt_{};  // after the first stop
  Clock::time_point giveUpAt_{};  // set by the first give-up answer
};

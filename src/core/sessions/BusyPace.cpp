#include "core/sessions/BusyPace.h"

TBusyPace::TTurn TBusyPace::Ask() {
  if (!handler_) return TTurn::Wait;
  const TBusyAnswer answer = (*handler_)();
  const Clock::time_point now = Clock::now();
  due_ = now + kBusyStep;
  if (!answer.Go() && onStop_ == TOnStop::GiveUp) return TTurn::GiveUp;
  TTurn turn = TTurn::Wait;
  if (!answer.Go() && !stopped_) {
    stopped_ = true;
    stopAgainAt_ = now + kStopAgain;
    turn = TTurn::Stop;
  } else if (stopped_ && now >= stopAgainAt_) {
    stopAgainAt_ = now + kStopAgain;
    turn = TTurn::Stop;
  }
  if (answer.Abandoning() && giveUpAt_ == Clock::time_point{}) giveUpAt_ = now + kAbandonAfter;
  if (giveUpAt_ != Clock::time_point{} && now >= giveUpAt_) return TTurn::GiveUp;
  return turn;
}

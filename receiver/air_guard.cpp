#include "receiver/air_guard.h"

namespace receiver {

void AirGuard::Sent(const rds::StationSettings& settings, Clock::time_point now) {
  sent_ = settings;
  check_.emplace(settings);
  deadline_ = now + confirm_timeout_;
  differs_since_.reset();
  state_ = State::kConfirming;
}

void AirGuard::Watch(const rds::StationSettings& settings, Clock::time_point now) {
  Sent(settings, now);
  state_ = State::kWatching;
}

AirEvent AirGuard::Take(const Group& group, Clock::time_point now) {
  if (!check_) return AirEvent::kNone;
  check_->Take(group);
  return Check(now);
}

AirEvent AirGuard::Tick(Clock::time_point now) {
  return Check(now);
}

AirEvent AirGuard::Check(Clock::time_point now) {
  switch (state_) {
    case State::kIdle:
      return AirEvent::kNone;
    case State::kSettled:
      // After a verdict that was not a confirmation, the send that shows up on air after all
      // (the encoder or the air mended without a send) is confirmed then.
      if (!check_->Confirmed()) return AirEvent::kNone;
      state_ = State::kWatching;
      return AirEvent::kConfirmed;
    case State::kConfirming:
      if (check_->Confirmed()) {
        state_ = State::kWatching;
        return AirEvent::kConfirmed;
      }
      if (now < deadline_) return AirEvent::kNone;
      // Not confirmed in time: reported once; the next send starts over.
      state_ = State::kSettled;
      switch (check_->Final()) {
        case Verdict::kMismatch:
          differences_ = Received(check_->Differences(), true);
          return AirEvent::kMismatch;
        case Verdict::kIncomplete:
          differences_ = check_->Differences();
          return AirEvent::kIncomplete;
        default:
          differences_.clear();
          return AirEvent::kNoRds;
      }
    case State::kWatching: {
      // A fresh check of what is received from now on: a field that stops matching and
      // stays so for the grace time is a change on air.
      auto differences = Received(check_->Differences(), true);
      if (differences.empty()) {
        differs_since_.reset();
        return AirEvent::kNone;
      }
      if (!differs_since_) differs_since_ = now;
      if (now - *differs_since_ < change_grace_) return AirEvent::kNone;
      differences_ = std::move(differences);
      state_ = State::kSettled;
      return AirEvent::kChangedOnAir;
    }
  }
  return AirEvent::kNone;
}

}  // namespace receiver

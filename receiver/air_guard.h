#pragma once

#include <chrono>
#include <optional>
#include <vector>

#include "rds/station.h"
#include "receiver/air_check.h"

namespace receiver {

enum class AirEvent {
  kNone,
  kConfirmed,     // the send is on air
  kMismatch,      // the time is up and a field received with evidence differs from the send
  kIncomplete,    // the time is up; what came matches, but not every field came (weak signal)
  kNoRds,         // the time is up and nothing came with evidence
  kChangedOnAir,  // after a confirmation, a field received with evidence changed, no send did
};

// Keeps watch on what is on air for a station that is monitored all the time: after each
// send it confirms the send (or finds it differs, or too little or no RDS at all, when the
// time is up); between sends it notices a change on air that no send made, such as an
// encoder back on its own data after a power cut, once the change has held for a while; a
// send that was not confirmed in time is confirmed when it shows up on air later. Only values received with evidence count (see StationView): noise, no RDS and a weak
// signal never make a mismatch or a change.
class AirGuard {
 public:
  using Clock = std::chrono::steady_clock;

  AirGuard(std::chrono::milliseconds confirm_timeout, std::chrono::milliseconds change_grace)
      : confirm_timeout_(confirm_timeout), change_grace_(change_grace) {}

  // A send of settings has just ended.
  void Sent(const rds::StationSettings& settings, Clock::time_point now);
  // settings went out before the watch began (a program started anew): nothing to confirm,
  // only a change from them on air is told.
  void Watch(const rds::StationSettings& settings, Clock::time_point now);

  AirEvent Take(const Group& group, Clock::time_point now);
  // Call now and then: the confirmation's time can run out while nothing arrives.
  AirEvent Tick(Clock::time_point now);

  // The fields that differed at the last kMismatch or kChangedOnAir, or were not received at
  // the last kIncomplete.
  const std::vector<FieldDifference>& differences() const { return differences_; }

 private:
  enum class State { kIdle, kConfirming, kWatching, kSettled };

  AirEvent Check(Clock::time_point now);

  std::chrono::milliseconds confirm_timeout_;
  std::chrono::milliseconds change_grace_;
  State state_ = State::kIdle;
  std::optional<rds::StationSettings> sent_;
  std::optional<AirCheck> check_;
  Clock::time_point deadline_{};
  std::optional<Clock::time_point> differs_since_;
  std::vector<FieldDifference> differences_;
};

}  // namespace receiver

#pragma once

#include <array>
#include <cstddef>

#include "transfer/pacer.h"

namespace transfer {

// Waits on the steady clock, never ending early and, on an idle machine, at most a few
// microseconds late: it sleeps until shortly before the deadline and busy-waits the rest.
// The lead it leaves before a deadline follows a high percentile of the recent sleep
// overshoots, so the busy part stays small on a precise timer and grows only where the
// timer is coarse; a rare late wake-up (the thread waiting for a processor) does not make
// later waits spin longer. The system's timer resolution is never changed.
class PrecisePacer final : public Pacer {
 public:
  Clock::time_point Now() override { return Clock::now(); }
  void WaitUntil(Clock::time_point deadline) override;

  // Time spent busy-waiting and in all, over every wait so far.
  Clock::duration BusyTime() const { return busy_; }
  Clock::duration WaitTime() const { return waited_; }

 private:
  void Learn(Clock::duration overshoot);

  static constexpr std::size_t kSamples = 32;

  Clock::duration lead_ = std::chrono::microseconds(200);
  std::array<Clock::duration, kSamples> overshoots_{};
  std::size_t samples_ = 0;
  std::size_t next_ = 0;
  Clock::duration busy_{};
  Clock::duration waited_{};
};

}  // namespace transfer

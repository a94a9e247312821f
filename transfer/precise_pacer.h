#pragma once

#include "transfer/pacer.h"

namespace transfer {

// Waits on the steady clock, never ending early and, on an idle machine, at most a few
// microseconds late: it sleeps until shortly before the deadline and busy-waits the rest.
// The lead it leaves before a deadline follows the system's measured sleep overshoot, so
// the busy part stays small on a precise timer and grows only where the timer is coarse.
// The system's timer resolution is never changed.
class PrecisePacer final : public Pacer {
 public:
  Clock::time_point Now() override { return Clock::now(); }
  void WaitUntil(Clock::time_point deadline) override;

  // Time spent busy-waiting and in all, over every wait so far.
  Clock::duration BusyTime() const { return busy_; }
  Clock::duration WaitTime() const { return waited_; }

 private:
  void Learn(Clock::duration overshoot);

  Clock::duration lead_ = std::chrono::microseconds(200);
  Clock::duration busy_{};
  Clock::duration waited_{};
};

}  // namespace transfer

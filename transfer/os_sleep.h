#pragma once

#include <chrono>

namespace transfer {

// Blocks the calling thread until about deadline, as precisely as the system's own timers
// allow without changing the system's timer resolution. May end late, by the system's
// timer granularity or while the thread waits for a processor; may also end a little early
// on some systems, so callers that must not be early check the clock themselves.
void OsSleepUntil(std::chrono::steady_clock::time_point deadline);

// How long before a deadline a precise wait stops sleeping and busy-waits instead: a little
// more than the usual wake-up delay of an idle machine's timer. Fixed: a late wake-up comes
// from the thread waiting for a processor, and spinning longer makes that worse.
std::chrono::microseconds OsSpinBudget();

// While it lives, the calling thread's sleeps end as close to their deadline as the system
// allows (on Linux the thread's timer slack drops from 50 us to 1 ns); the previous setting
// comes back when it ends. Must end on the thread that made it.
class FineTimerScope {
 public:
  FineTimerScope();
  ~FineTimerScope();
  FineTimerScope(const FineTimerScope&) = delete;
  FineTimerScope& operator=(const FineTimerScope&) = delete;

 private:
  unsigned long previous_ = 0;
  bool changed_ = false;
};

}  // namespace transfer

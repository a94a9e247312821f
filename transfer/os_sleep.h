#pragma once

#include <chrono>

namespace transfer {

// Blocks the calling thread until about deadline, as precisely as the system's own timers
// allow without changing the system's timer resolution. May end late, by the system's
// timer granularity or while the thread waits for a processor; may also end a little early
// on some systems, so callers that must not be early check the clock themselves.
void OsSleepUntil(std::chrono::steady_clock::time_point deadline);

// How long before a deadline a precise wait stops sleeping and busy-waits instead. While a
// processor is free, a little more than the wake-up delay of an idle machine's timer. While
// every processor has other work, much less: a thread that spins there loses its processor
// to the others for a whole scheduler tick, so it should wake late by a few microseconds
// rather than spin.
struct SpinBudgets {
  std::chrono::microseconds free;
  std::chrono::microseconds busy;
};
SpinBudgets OsSpinBudgets();

// Whether, at this moment, every processor the calling thread may run on has other work
// ready to run. True where the system doesn't tell: spinning less is the safe side.
bool OsProcessorsBusy();

// While it lives, the calling thread wakes from its sleeps as promptly as the system allows
// a thread of normal priority: on Linux its timer slack drops from 50 us to 1 ns and it asks
// for the shortest time slice (100 us, from Linux 6.12), which lets it take a processor from
// a busy thread sooner when its timer fires. The previous settings come back when it ends.
// Must end on the thread that made it.
class PromptWakeScope {
 public:
  PromptWakeScope();
  ~PromptWakeScope();
  PromptWakeScope(const PromptWakeScope&) = delete;
  PromptWakeScope& operator=(const PromptWakeScope&) = delete;

 private:
  unsigned long previous_slack_ = 0;
  bool slack_changed_ = false;
  unsigned long long previous_slice_ns_ = 0;
  bool slice_changed_ = false;
};

}  // namespace transfer

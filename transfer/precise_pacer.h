#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>

#include "transfer/os_sleep.h"
#include "transfer/pacer.h"
#include "transfer/thread_priority.h"

namespace transfer {

// The clock and the sleeps a PrecisePacer works with; the system's unless a test gives
// its own.
class WaitClock {
 public:
  virtual ~WaitClock() = default;
  virtual Pacer::Clock::time_point Now() = 0;
  // May end early or late.
  virtual void SleepUntil(Pacer::Clock::time_point deadline) = 0;
  // Whether every processor has other work ready to run (OsProcessorsBusy).
  virtual bool ProcessorsBusy() = 0;
};

// Waits on the steady clock, never ending early and, on an idle machine, at most a few
// microseconds late: it sleeps until a little before the deadline and busy-waits the rest.
// While a processor is free, the spin covers nine in ten of the last wake-up delays, up to
// the free budget; a late wake-up while every processor has other work comes from the thread
// waiting for a processor, and is not learned from. Then the spin shrinks to the busy budget:
// a thread that spins there is the one the scheduler makes wait. On a busy machine the waits
// thus end no later than plain sleeps would. During a transfer the thread wakes as promptly
// as the system allows (PromptWakeScope) and, with high priority, runs at the best priority
// it is granted. The system's timer resolution is never changed.
class PrecisePacer final : public Pacer {
 public:
  PrecisePacer();
  // Spins for at most the budget for the moment before each deadline; for tests.
  PrecisePacer(WaitClock& clock, SpinBudgets budgets);

  Clock::time_point Now() override { return clock_.Now(); }
  void WaitUntil(Clock::time_point deadline) override;
  void BeginTransfer() override;
  void EndTransfer() override;

  // Whether later transfers raise their thread's priority.
  void SetHighPriority(bool high) { high_priority_ = high; }
  // What the last transfer with high priority got (RaisedThreadPriority::Description);
  // empty before one.
  const std::string& PriorityGot() const { return priority_got_; }

  // Time spent busy-waiting and in all, over every wait so far.
  Clock::duration BusyTime() const { return busy_; }
  Clock::duration WaitTime() const { return waited_; }

 private:
  Clock::duration FreeSpin() const;

  WaitClock& clock_;
  SpinBudgets budgets_;
  // Delays of the last short sleeps that ended with a processor free, in a ring.
  std::array<Clock::duration, 32> wake_delays_{};
  std::size_t wake_delays_seen_ = 0;
  bool high_priority_ = false;
  std::string priority_got_;
  std::optional<PromptWakeScope> prompt_wake_;
  std::optional<RaisedThreadPriority> priority_;
  Clock::duration busy_{};
  Clock::duration waited_{};
};

}  // namespace transfer

#include "transfer/precise_pacer.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#include <immintrin.h>
#define RDSQ7_CPU_RELAX() _mm_pause()
#else
#define RDSQ7_CPU_RELAX() ((void)0)
#endif

namespace transfer {
namespace {

// Added to the learned wake-up delay, for the time the wake-up itself takes to read.
constexpr std::chrono::microseconds kSpinMargin{10};
// Sleeps longer than this spin the whole free budget and are not learned from.
constexpr std::chrono::milliseconds kLongSleep{5};

class SystemWaitClock final : public WaitClock {
 public:
  Pacer::Clock::time_point Now() override { return Pacer::Clock::now(); }
  void SleepUntil(Pacer::Clock::time_point deadline) override { OsSleepUntil(deadline); }
  bool ProcessorsBusy() override { return OsProcessorsBusy(); }
};

WaitClock& SystemClock() {
  static SystemWaitClock clock;
  return clock;
}

}  // namespace

PrecisePacer::PrecisePacer() : PrecisePacer(SystemClock(), OsSpinBudgets()) {}

PrecisePacer::PrecisePacer(WaitClock& clock, SpinBudgets budgets)
    : clock_(clock), budgets_(budgets) {}

PrecisePacer::Clock::duration PrecisePacer::FreeSpin() const {
  if (wake_delays_seen_ < wake_delays_.size()) return budgets_.free;
  auto delays = wake_delays_;
  const auto ninth_tenth = delays.begin() + delays.size() * 9 / 10;
  std::nth_element(delays.begin(), ninth_tenth, delays.end());
  return std::clamp<Clock::duration>(*ninth_tenth + kSpinMargin, budgets_.busy, budgets_.free);
}

void PrecisePacer::WaitUntil(Clock::time_point deadline) {
  const Clock::time_point start = Now();
  Clock::time_point now = start;
  // An idle processor sleeps deeper the longer it stays idle, and wakes later.
  const bool long_sleep = deadline - now > kLongSleep;
  Clock::time_point wake = deadline - (long_sleep ? budgets_.free : FreeSpin());
  bool free = true;
  const bool may_lose_processor = !priority_ || !priority_->AboveNormalThreads();
  if (now < wake && may_lose_processor && clock_.ProcessorsBusy()) {
    wake = deadline - budgets_.busy;
    free = false;
  }
  // Sleeps again after a wake-up that came too early, so the spin never exceeds the budget.
  bool slept = false;
  while (now < wake) {
    clock_.SleepUntil(wake);
    now = Now();
    slept = true;
  }
  if (slept && free && !long_sleep) {
    wake_delays_[wake_delays_seen_++ % wake_delays_.size()] = now - wake;
  }
  const Clock::time_point spin_start = now;
  while (now < deadline) {
    RDSQ7_CPU_RELAX();
    now = Now();
  }
  busy_ += now - spin_start;
  waited_ += now - start;
}

void PrecisePacer::BeginTransfer() {
  prompt_wake_.emplace();
  if (high_priority_) {
    priority_.emplace();
    priority_got_ = priority_->Description();
  }
}

void PrecisePacer::EndTransfer() {
  priority_.reset();
  prompt_wake_.reset();
}

}  // namespace transfer

#include "transfer/precise_pacer.h"

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#include <immintrin.h>
#define RDSQ7_CPU_RELAX() _mm_pause()
#else
#define RDSQ7_CPU_RELAX() ((void)0)
#endif

namespace transfer {
namespace {

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

void PrecisePacer::WaitUntil(Clock::time_point deadline) {
  const Clock::time_point start = Now();
  Clock::time_point now = start;
  // Sleeps again after a wake-up that came too early, so the spin never exceeds the budget.
  Clock::time_point wake = deadline - budgets_.free;
  if (now < wake && clock_.ProcessorsBusy()) wake = deadline - budgets_.busy;
  while (now < wake) {
    clock_.SleepUntil(wake);
    now = Now();
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

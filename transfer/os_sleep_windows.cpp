#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "transfer/os_sleep.h"

// Windows 10 1803 and later; older SDK headers lack the name.
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace transfer {
namespace {

// A high-resolution waitable timer ends a wait within about half a millisecond without
// raising the system-wide timer resolution. Older Windows versions refuse the flag; the
// handle is then null and Sleep, with the default timer's granularity, is used.
class HighResolutionTimer {
 public:
  HighResolutionTimer()
      : handle_(CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                       TIMER_ALL_ACCESS)) {}
  ~HighResolutionTimer() {
    if (handle_ != nullptr) CloseHandle(handle_);
  }
  HighResolutionTimer(const HighResolutionTimer&) = delete;
  HighResolutionTimer& operator=(const HighResolutionTimer&) = delete;

  HANDLE handle() const { return handle_; }

 private:
  HANDLE handle_;
};

HighResolutionTimer& ThreadTimer() {
  thread_local HighResolutionTimer timer;
  return timer;
}

}  // namespace

// The high-resolution timer ends a wait up to about half a millisecond late, so a part of
// that is spun; without it the default 15.6 ms tick leaves nothing to sleep through in a
// 1 ms pause, and the waits are spun as a whole. Windows boosts a thread that wakes from a
// wait above busy threads of its priority, so the budget needn't shrink when they are many.
SpinBudgets OsSpinBudgets() {
  const std::chrono::microseconds budget(ThreadTimer().handle() != nullptr ? 300 : 17000);
  return {.free = budget, .busy = budget};
}

bool OsProcessorsBusy() {
  return false;
}

// The high-resolution timer has no slack to lower, and the system-wide timer resolution is
// left alone.
PromptWakeScope::PromptWakeScope() = default;
PromptWakeScope::~PromptWakeScope() = default;

void OsSleepUntil(std::chrono::steady_clock::time_point deadline) {
  using std::chrono::duration_cast;
  const auto remaining = deadline - std::chrono::steady_clock::now();
  if (remaining <= std::chrono::steady_clock::duration::zero()) return;

  HighResolutionTimer& timer = ThreadTimer();
  if (timer.handle() != nullptr) {
    // Relative due time, negative, in units of 100 ns.
    const auto ticks =
        duration_cast<std::chrono::duration<long long, std::ratio<1, 10000000>>>(remaining);
    LARGE_INTEGER due{};
    due.QuadPart = -ticks.count();
    if (due.QuadPart < 0 && SetWaitableTimer(timer.handle(), &due, 0, nullptr, nullptr, FALSE)) {
      WaitForSingleObject(timer.handle(), INFINITE);
      return;
    }
  }
  const auto ms = duration_cast<std::chrono::milliseconds>(remaining).count();
  if (ms > 0) Sleep(static_cast<DWORD>(ms));
}

}  // namespace transfer

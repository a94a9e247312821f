#include <sys/prctl.h>

#include <cerrno>
#include <ctime>

#include "transfer/os_sleep.h"

namespace transfer {

// libstdc++ and libc++ both build steady_clock on CLOCK_MONOTONIC, so its time points are
// absolute CLOCK_MONOTONIC times.
void OsSleepUntil(std::chrono::steady_clock::time_point deadline) {
  using std::chrono::duration_cast;
  using std::chrono::nanoseconds;
  using std::chrono::seconds;
  const nanoseconds since_epoch = deadline.time_since_epoch();
  if (since_epoch.count() <= 0) return;
  const seconds whole = duration_cast<seconds>(since_epoch);
  timespec at{};
  at.tv_sec = static_cast<time_t>(whole.count());
  at.tv_nsec = static_cast<long>((since_epoch - whole).count());
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
  }
}

// With 1 ns of timer slack an idle machine wakes a sleeping thread 5 to 40 us late (the
// upper end inside a virtual machine).
std::chrono::microseconds OsSpinBudget() {
  return std::chrono::microseconds(50);
}

// Threads of a real-time policy get no slack anyway; for the others the default of 50 us
// would be added to almost every wake-up.
FineTimerScope::FineTimerScope() {
  const int previous = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  if (previous < 0) return;
  previous_ = static_cast<unsigned long>(previous);
  changed_ = ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0;
}

FineTimerScope::~FineTimerScope() {
  if (changed_) (void)::prctl(PR_SET_TIMERSLACK, previous_, 0, 0, 0);
}

}  // namespace transfer

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

// High-resolution timers wake a thread about 50 to 100 us late (the default timer slack
// plus the wake-up itself).
std::chrono::microseconds OsSleepLeadLimit() {
  return std::chrono::microseconds(500);
}

}  // namespace transfer

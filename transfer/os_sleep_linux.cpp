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

}  // namespace transfer

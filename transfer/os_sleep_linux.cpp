#include <fcntl.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
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

// With 1 ns of timer slack an idle machine wakes a sleeping thread 5 to 150 us late, the
// upper end inside a virtual machine, whose idle processors take long to wake. On a busy
// machine the processors are awake and the thread wakes 20 to 40 us late; there a thread that
// spins longer is the one the scheduler stops at its next tick, and 20 us measured best.
SpinBudgets OsSpinBudgets() {
  return {.free = std::chrono::microseconds(150), .busy = std::chrono::microseconds(20)};
}

namespace {

// The processors this thread may run on.
int UsableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(1, CPU_COUNT(&set));
}

}  // namespace

// The fourth field of /proc/loadavg counts the threads running or ready to run right now,
// this one included. One read costs a few microseconds.
bool OsProcessorsBusy() {
  static const int processors = UsableProcessors();
  static const int fd = ::open("/proc/loadavg", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return true;
  std::array<char, 128> text{};
  const ssize_t n = ::pread(fd, text.data(), text.size() - 1, 0);
  if (n <= 0) return true;
  int runnable = 0;
  double load = 0;
  if (std::sscanf(text.data(), "%lf %lf %lf %d/", &load, &load, &load, &runnable) != 4) {
    return true;
  }
  return runnable - 1 >= processors;
}

namespace {

// The first version of the kernel's struct sched_attr; older C libraries lack it and the
// calls.
struct SchedAttr {
  std::uint32_t size;
  std::uint32_t sched_policy;
  std::uint64_t sched_flags;
  std::int32_t sched_nice;
  std::uint32_t sched_priority;
  std::uint64_t sched_runtime;  // for a normal thread: its time slice, in ns
  std::uint64_t sched_deadline;
  std::uint64_t sched_period;
};
static_assert(sizeof(SchedAttr) == 48);

// The shortest slice the kernel takes; it clamps shorter requests up to it.
constexpr std::uint64_t kShortSliceNs = 100'000;

bool GetSchedAttr(SchedAttr& attr) {
  attr = {};
  return ::syscall(SYS_sched_getattr, 0, &attr, sizeof attr, 0) == 0;
}

bool SetSchedAttr(SchedAttr attr) {
  attr.size = sizeof attr;
  return ::syscall(SYS_sched_setattr, 0, &attr, 0) == 0;
}

}  // namespace

// Threads of a real-time policy get no slack and no slice of this kind anyway. Kernels
// before 6.12 ignore the slice of a normal thread.
PromptWakeScope::PromptWakeScope() {
  const int slack = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  if (slack >= 0) {
    previous_slack_ = static_cast<unsigned long>(slack);
    slack_changed_ = ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0;
  }
  SchedAttr attr{};
  if (GetSchedAttr(attr) && attr.sched_policy == SCHED_OTHER) {
    previous_slice_ns_ = attr.sched_runtime;
    attr.sched_runtime = kShortSliceNs;
    slice_changed_ = SetSchedAttr(attr);
  }
}

PromptWakeScope::~PromptWakeScope() {
  SchedAttr attr{};
  if (slice_changed_ && GetSchedAttr(attr) && attr.sched_policy == SCHED_OTHER) {
    attr.sched_runtime = previous_slice_ns_;
    (void)SetSchedAttr(attr);
  }
  if (slack_changed_) (void)::prctl(PR_SET_TIMERSLACK, previous_slack_, 0, 0, 0);
}

}  // namespace transfer

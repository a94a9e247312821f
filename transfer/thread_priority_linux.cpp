#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>

#include "transfer/realtime_kit.h"
#include "transfer/thread_priority.h"

namespace transfer {
namespace {

// Low among real-time priorities (1 to 99): above every ordinary thread, below the
// threads of audio servers and the kernel's own, which usually sit at 50 and above.
constexpr int kRealTimePriority = 10;
// The nice value tried first where real-time scheduling is refused; as the process-wide
// High priority option asks for.
constexpr int kHighNice = -10;

id_t ThreadId() {
  return static_cast<id_t>(::syscall(SYS_gettid));
}

bool SetNice(int nice) {
  return ::setpriority(PRIO_PROCESS, ThreadId(), nice) == 0;
}

// The lowest nice value RLIMIT_NICE lets an unprivileged thread take: 20 - limit.
int LowestPermittedNice() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NICE, &limit) != 0) return 20;
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= 40) return -20;
  return 20 - static_cast<int>(limit.rlim_cur);
}

}  // namespace

RaisedThreadPriority::RaisedThreadPriority() {
  // sched_setscheduler with pid 0 acts on the calling thread only.
  const int policy = ::sched_getscheduler(0);
  sched_param param{};
  if (policy < 0 || ::sched_getparam(0, &param) != 0) {
    description_ = "not permitted, normal priority";
    return;
  }
  const int base_policy = policy & ~SCHED_RESET_ON_FORK;
  if (base_policy == SCHED_FIFO || base_policy == SCHED_RR) {
    description_ = std::string("real-time (") +
                   (base_policy == SCHED_FIFO ? "SCHED_FIFO " : "SCHED_RR ") +
                   std::to_string(param.sched_priority) + ", as started)";
    return;
  }

  // RLIMIT_RTPRIO lets an unprivileged thread up to its value.
  rlimit rt_limit{};
  int rt_priority = kRealTimePriority;
  if (::getrlimit(RLIMIT_RTPRIO, &rt_limit) == 0 && rt_limit.rlim_cur != RLIM_INFINITY &&
      rt_limit.rlim_cur > 0 && rt_limit.rlim_cur < static_cast<rlim_t>(kRealTimePriority)) {
    rt_priority = static_cast<int>(rt_limit.rlim_cur);
  }
  // Processes started from the sending thread do not inherit the real-time policy.
  const sched_param raised{rt_priority};
  std::string got;
  if (::sched_setscheduler(0, SCHED_FIFO | SCHED_RESET_ON_FORK, &raised) == 0) {
    got = "SCHED_FIFO " + std::to_string(rt_priority);
  } else if (const std::optional<int> granted = AskRealtimeKit(kRealTimePriority)) {
    got = "SCHED_RR " + std::to_string(*granted) + ", RealtimeKit";
  }
  if (!got.empty()) {
    change_ = Change::kPolicy;
    previous_policy_ = policy;
    previous_priority_ = param.sched_priority;
    description_ = "real-time (" + got + ")";
    return;
  }

  errno = 0;
  const int nice = ::getpriority(PRIO_PROCESS, ThreadId());
  if (errno != 0) {
    description_ = "not permitted, normal priority";
    return;
  }
  for (const int wanted : {kHighNice, std::max(kHighNice, LowestPermittedNice())}) {
    if (wanted >= nice) continue;
    if (SetNice(wanted)) {
      change_ = Change::kNice;
      previous_priority_ = nice;
      description_ = "nice " + std::to_string(wanted);
      return;
    }
  }
  description_ =
      nice < 0 ? "nice " + std::to_string(nice) : std::string("not permitted, normal priority");
}

RaisedThreadPriority::~RaisedThreadPriority() {
  // Going back down is always permitted.
  if (change_ == Change::kPolicy) {
    sched_param param{};
    param.sched_priority = previous_priority_;
    (void)::sched_setscheduler(0, previous_policy_, &param);
  } else if (change_ == Change::kNice) {
    (void)SetNice(previous_priority_);
  }
}

}  // namespace transfer

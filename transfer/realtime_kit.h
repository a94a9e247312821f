#pragma once

#include <optional>

namespace transfer {

// Asks the desktop's RealtimeKit service, on the system bus, to give the calling thread a
// real-time priority (SCHED_RR): the way an ordinary desktop user's programs get one without
// privileges. The priority asked is lowered to the service's maximum. The service requires a
// limit on the process's real-time CPU time without blocking (RLIMIT_RTTIME); where the
// service answers, the limit is lowered to the service's maximum if it is higher, and stays
// so. Returns the priority granted, or nothing where there is no such service, it refuses,
// or it takes more than two seconds.
std::optional<int> AskRealtimeKit(int priority);

}  // namespace transfer

#pragma once

#include <chrono>

namespace transfer {

// Blocks the calling thread until about deadline, as precisely as the system's own timers
// allow without changing the system's timer resolution. May end late, by the system's
// timer granularity; may also end a little early on some systems, so callers that must
// not be early check the clock themselves.
void OsSleepUntil(std::chrono::steady_clock::time_point deadline);

}  // namespace transfer

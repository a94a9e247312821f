#pragma once

#include <chrono>

namespace transfer {

// Blocks the calling thread until about deadline, as precisely as the system's own timers
// allow without changing the system's timer resolution. May end late, by the system's
// timer granularity; may also end a little early on some systems, so callers that must
// not be early check the clock themselves.
void OsSleepUntil(std::chrono::steady_clock::time_point deadline);

// The most a precise wait should leave to busy-waiting: a little more than the system
// timer's own granularity. Later wake-ups come from the thread waiting for a processor;
// spinning longer does not help against those, and on a busy machine makes them worse.
std::chrono::microseconds OsSleepLeadLimit();

}  // namespace transfer

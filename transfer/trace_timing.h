#pragma once

#include <chrono>
#include <optional>

#include "transfer/wire_trace.h"

namespace transfer {

// How closely a recorded send kept its pauses.
struct TraceTiming {
  std::chrono::nanoseconds elapsed{};  // first ResetLines to last ResetLines
  // Shortest time between two consecutive line changes inside a run (nominally 1 ms),
  // and from the last change of a run to the first of the next (30 ms + 1 ms).
  std::optional<std::chrono::nanoseconds> min_bit_pause;
  std::optional<std::chrono::nanoseconds> min_run_pause;
};

// Runs are told apart by counting ClockLow operations, 8 to a run.
TraceTiming MeasureTrace(const WireTrace& trace);

}  // namespace transfer

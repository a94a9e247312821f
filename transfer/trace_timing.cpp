#include "transfer/trace_timing.h"

#include <algorithm>

#include "transfer/clock_out.h"

namespace transfer {
namespace {

void KeepShortest(std::optional<std::chrono::nanoseconds>& shortest, std::chrono::nanoseconds gap) {
  shortest = shortest ? std::min(*shortest, gap) : gap;
}

}  // namespace

TraceTiming MeasureTrace(const WireTrace& trace) {
  TraceTiming timing;
  const auto first_reset = std::find_if(
      trace.begin(), trace.end(), [](const LineChange& c) { return c.op == LineOp::kResetLines; });
  const auto last_reset = std::find_if(trace.rbegin(), trace.rend(), [](const LineChange& c) {
    return c.op == LineOp::kResetLines;
  });
  if (first_reset != trace.end()) timing.elapsed = last_reset->time - first_reset->time;

  std::size_t lows = 0;  // ClockLow operations so far
  for (std::size_t i = 1; i < trace.size(); ++i) {
    const LineChange& before = trace[i - 1];
    const LineChange& after = trace[i];
    const std::chrono::nanoseconds gap = after.time - before.time;
    if (before.op == LineOp::kClockLow) ++lows;
    if (before.op == LineOp::kResetLines || after.op == LineOp::kResetLines) continue;
    const bool run_boundary = before.op == LineOp::kClockLow && lows % kRunBits == 0;
    KeepShortest(run_boundary ? timing.min_run_pause : timing.min_bit_pause, gap);
  }
  return timing;
}

}  // namespace transfer

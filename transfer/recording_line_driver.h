#pragma once

#include <functional>
#include <utility>

#include "transfer/line_driver.h"
#include "transfer/wire_trace.h"

namespace transfer {

// Drives no wire: notes every line operation, with the time it happened, in a trace the
// caller owns (so the trace outlives the driver that a send chooses and drops).
class RecordingLineDriver final : public LineDriver {
 public:
  using Now = std::function<std::chrono::steady_clock::time_point()>;

  explicit RecordingLineDriver(
      WireTrace& trace, Now now = [] { return std::chrono::steady_clock::now(); })
      : trace_(trace), now_(std::move(now)) {}

  void ResetLines() override { Note(LineOp::kResetLines, 0); }
  void ClockHigh(rds::BitCell bit) override { Note(LineOp::kClockHigh, bit); }
  void ClockLow(rds::BitCell bit) override { Note(LineOp::kClockLow, bit); }

 private:
  void Note(LineOp op, rds::BitCell bit);

  WireTrace& trace_;
  Now now_;
};

}  // namespace transfer

#pragma once

#include <chrono>
#include <vector>

#include "rds/bits.h"

namespace transfer {

enum class LineOp { kResetLines, kClockHigh, kClockLow };

// One line operation of a send and the moment it changed the lines.
struct LineChange {
  LineOp op = LineOp::kResetLines;
  rds::BitCell bit = 0;  // 0 for kResetLines
  std::chrono::steady_clock::time_point time{};

  // The line levels right after the operation.
  rds::BitCell Data() const { return op == LineOp::kResetLines ? 0 : bit; }
  rds::BitCell Clock() const { return op == LineOp::kClockHigh ? 1 : 0; }
};

using WireTrace = std::vector<LineChange>;

}  // namespace transfer

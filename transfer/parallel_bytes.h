#pragma once

#include <cstdint>
#include <vector>

#include "transfer/wire_trace.h"

namespace transfer {

// On the parallel port the data line is bit 4 and the clock line bit 3 of the data
// register; the other six bits are always 0.
constexpr std::uint8_t kParallelDataBit = 0x10;
constexpr std::uint8_t kParallelClockBit = 0x08;

// The byte the parallel line driver writes for one line operation: 0x00 for ResetLines,
// 0x08 / 0x18 for ClockHigh(0 / 1), 0x00 / 0x10 for ClockLow(0 / 1).
constexpr std::uint8_t ParallelPortByte(LineOp op, rds::BitCell bit) {
  const std::uint8_t data = (op != LineOp::kResetLines && bit != 0) ? kParallelDataBit : 0;
  return static_cast<std::uint8_t>(data | (op == LineOp::kClockHigh ? kParallelClockBit : 0));
}

// The bytes a parallel port's data register would have received for the trace.
std::vector<std::uint8_t> ParallelPortBytes(const WireTrace& trace);

}  // namespace transfer

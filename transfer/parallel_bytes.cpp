#include "transfer/parallel_bytes.h"

namespace transfer {

static_assert(ParallelPortByte(LineOp::kResetLines, 1) == 0x00);
static_assert(ParallelPortByte(LineOp::kClockHigh, 0) == 0x08);
static_assert(ParallelPortByte(LineOp::kClockHigh, 1) == 0x18);
static_assert(ParallelPortByte(LineOp::kClockLow, 0) == 0x00);
static_assert(ParallelPortByte(LineOp::kClockLow, 1) == 0x10);

std::vector<std::uint8_t> ParallelPortBytes(const WireTrace& trace) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(trace.size());
  for (const LineChange& change : trace) bytes.push_back(ParallelPortByte(change.op, change.bit));
  return bytes;
}

}  // namespace transfer

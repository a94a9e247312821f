#pragma once

#include "rds/bits.h"

namespace transfer {

// The two encoder lines, data and clock. Each operation changes the lines at once and
// returns without waiting; all pacing belongs to the send sequence. An operation that
// cannot drive the lines throws.
class LineDriver {
 public:
  virtual ~LineDriver() = default;

  // Data low, clock low.
  virtual void ResetLines() = 0;
  // Data = bit, clock high.
  virtual void ClockHigh(rds::BitCell bit) = 0;
  // Clock low; data stays at bit.
  virtual void ClockLow(rds::BitCell bit) = 0;
};

}  // namespace transfer

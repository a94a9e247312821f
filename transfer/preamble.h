#pragma once

#include "rds/bits.h"

namespace transfer {

constexpr std::size_t kPreambleBits = 32;
using Preamble = rds::Bits<kPreambleBits>;

// The fixed 32 cells clocked in before every image, in sending order.
const Preamble& PreambleCells();

}  // namespace transfer

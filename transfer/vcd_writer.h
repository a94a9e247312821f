#pragma once

#include <ostream>

#include "transfer/wire_trace.h"

namespace transfer {

// Writes the trace as a Value Change Dump with two one-bit signals, "data" and "clock",
// in nanoseconds from the first line change (which also gives both signals' first value).
// Waveform viewers such as GTKWave and PulseView read it.
void WriteVcd(const WireTrace& trace, std::ostream& out);

}  // namespace transfer

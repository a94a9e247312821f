#pragma once

#include <ostream>

#include "transfer/wire_trace.h"

namespace transfer {

// Writes the trace as a Value Change Dump with two one-bit signals, "data" and "clock",
// in microseconds from the first line change (which also gives both signals' first value).
// Waveform viewers such as GTKWave and PulseView read it; a microsecond time scale keeps
// the 2.6 s of a send at 2.6 million samples for viewers that sample the dump.
void WriteVcd(const WireTrace& trace, std::ostream& out);

}  // namespace transfer

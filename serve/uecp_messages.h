#pragma once

#include <cstdint>
#include <span>

#include "serve/station_control.h"
#include "serve/uecp_frame.h"

namespace serve {

// Carries out the message elements of one frame for the one data set and the main service
// this encoder has on air: PI (0x01), PS (0x02), TA/TP (0x03), DI (0x04), MS (0x05), PTY
// (0x07) and AF (0x13, method A).
// - Data set 0 (the current one), 1 (the only one, so the current one) and 0xFF (all) are on
//   air; 0xFE (all but the current one) is none, and the element changes nothing (code 0);
//   any other data set: code 4. Service 0 is the main service; any other: code 5.
// - Elements this encoder cannot carry but whose layout is known (radiotext, PIN, PTYN,
//   EON AF, clock time) are passed over with code 3 and the rest of the frame still counts;
//   an element code not known at all ends the frame there (its length is unknown): code 3.
// - A malformed element (too short, value out of range) refuses the whole frame: nothing
//   changes, and its code is the answer.
// Otherwise the answer is 0 when some element took effect, else the first element's code.
UecpResponse ApplyUecpMessage(std::span<const std::uint8_t> message, StationControl& station);

}  // namespace serve

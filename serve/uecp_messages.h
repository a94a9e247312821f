#pragma once

#include <cstdint>
#include <span>

#include "serve/station_control.h"
#include "serve/uecp_frame.h"

namespace cli {

// Carries out the message elements of one frame: PI (0x01), PS (0x02), TA/TP (0x03),
// DI (0x04), MS (0x05), PTY (0x07) and AF (0x13, method A). A frame is taken whole or not
// at all: on any refusal nothing changes, and the first refusal is the answer. Any other
// element (radiotext, clock time, EON, ...) is one this encoder cannot carry: message
// unknown. An empty message is accepted and changes nothing.
UecpResponse ApplyUecpMessage(std::span<const std::uint8_t> message, StationControl& station);

}  // namespace cli

#pragma once

#include <chrono>

#include "transfer/time_of_day.h"

namespace transfer {

// A press of Send counts only when more than this many whole seconds lie between it and
// the end of the last send (or the start of the program).
constexpr std::chrono::seconds kThrottleSeconds{1};

// Compares times of day only and takes the difference's absolute value, so a press just
// after midnight following a send just before it counts (the gap reads as nearly a day),
// and so does a press after the clock was set back by two seconds or more.
bool PressAccepted(TimeOfDay last_send, TimeOfDay now);

}  // namespace transfer

#pragma once

#include <chrono>

namespace transfer {

// Local time of day, counted from midnight, at millisecond resolution: 0 to 86 399 999.
using TimeOfDay = std::chrono::milliseconds;

class TimeOfDayClock {
 public:
  virtual ~TimeOfDayClock() = default;
  virtual TimeOfDay Now() = 0;
};

// The system's local wall clock; follows changes of the clock and of the time zone.
class SystemTimeOfDayClock final : public TimeOfDayClock {
 public:
  TimeOfDay Now() override;
};

}  // namespace transfer

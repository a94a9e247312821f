#pragma once

#include <string>

#include "cmdline/arguments.h"
#include "receiver/level_limits.h"
#include "receiver/level_meter.h"

namespace cmdline {

// A decimal number from low to high; throws UsageError naming option otherwise.
double DecimalArgument(const std::string& option, const std::string& value, double low,
                       double high);

// The level meters' options that monitor and serve share: the scale (--full-scale-khz,
// --pilot-khz) and the limits (--rds-injection-min/-max, --pilot-min/-max, --deviation-max,
// --mpx-power-max).
class LevelOptions {
 public:
  // Applies option if it is a level option, reading its value from args; returns false for
  // any other option. Throws UsageError for a bad value.
  bool Parse(const std::string& option, Arguments& args);
  // Throws UsageError for limits that contradict each other or both scales given.
  void Check() const;

  receiver::MeterOptions Meter() const;
  const receiver::LevelLimits& Limits() const { return limits_; }

  static const char* Help();

 private:
  receiver::LevelScale scale_;
  receiver::LevelLimits limits_;
};

}  // namespace cmdline

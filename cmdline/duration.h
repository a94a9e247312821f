#pragma once

#include <chrono>
#include <string>

namespace cmdline {

// A duration as people type it: "90s", "15m", "1h", "7d", or seconds without a unit.
// Throws UsageError naming option.
std::chrono::seconds ParseDuration(const std::string& option, const std::string& value);

}  // namespace cmdline

#pragma once

#include <array>
#include <string>

namespace transfer {

// The 14 lines "PS=", "PTY=", "TP=", "TA=", "AF1=" … "AF7=", "MS=", "PI=", "DI=" with
// their values, as of the last completed send; 14 empty lines before the first one.
constexpr std::size_t kLastSentLines = 14;
using LastSentRecord = std::array<std::string, kLastSentLines>;

}  // namespace transfer

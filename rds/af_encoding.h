#pragma once

#include <array>
#include <string>

#include "rds/bits.h"

namespace rds {

constexpr std::size_t kAfCount = 7;
constexpr std::size_t kAfLength = 5;

using AfTexts = std::array<std::string, kAfCount>;

struct AfEncoding {
  AfTexts boxes;  // the box texts after compaction: valid entries first, as typed
  int count = 0;  // number of valid entries, 0 to 7
  std::array<int, kAfCount> codes{};  // AF codes 1..204 in places 0..count-1
  Bits<64> bits{};                    // count code, the codes, filler 205 in every free place
};

// AF method A: validates each box (frequency in MHz, 87.6 to 107.9, at most one digit
// after decimal_separator), drops invalid entries and moves the valid ones up.
AfEncoding EncodeAF(const AfTexts& boxes, char decimal_separator);

}  // namespace rds

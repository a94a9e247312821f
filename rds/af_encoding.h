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

// Either mark is read as the decimal mark of an AF entry: with one value per box, "98,5" and
// "98.5" cannot mean anything else, whatever the user's regional settings say.
constexpr bool IsAfDecimalMark(char c) {
  return c == '.' || c == ',';
}

// The AF code (1..204) a send gives one entry, or 0 when the entry is dropped.
int AfEntryCode(const std::string& entry);

// AF method A: validates each box (only digits and at most one decimal mark, a frequency in
// MHz from 87.6 to 107.9, at most one digit after the mark), drops invalid entries and moves
// the valid ones up.
AfEncoding EncodeAF(const AfTexts& boxes);

}  // namespace rds

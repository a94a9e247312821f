#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "rds/bits.h"

namespace rds {

constexpr std::size_t kPsLength = 8;
constexpr std::size_t kPiLength = 4;

// The bits of the simple fields, rebuilt from scratch on every send.
struct FieldBits {
  Bits<16> pi{};
  Bits<5> pty{};
  BitCell ms = 0;
  BitCell tp = 0;
  BitCell ta = 0;
  Bits<4> di{};                      // cell s is the flag carried by segment s
  std::array<std::uint8_t, 8> ps{};  // PS characters in RDS character table codes
  Bits<64> af{};                     // the four AF code pairs
};

// True when bit n (weight 2^n) of value is set, for 0 <= value <= 255; false for every
// negative value. Works by magnitude, so it never looks at the sign bit's pattern.
bool BitOn(std::int32_t value, int n);

// Returns the PI text as a send leaves it in its box: the upper-cased four hex digits,
// or "FFFF" for anything else.
std::string CheckPI(std::string_view text);

// text is four characters that CheckPI accepted; the first one is the top nibble.
Bits<16> EncodePI(std::string_view text);

// index is the PTY list position, the PTY code itself; -1 (no selection) encodes as 0.
Bits<5> EncodePTY(int index);

// A flag list (MS, TP, TA) encodes as 1 exactly when position 1 is selected.
BitCell EncodeFlag(int index);

// ticks are the check-list items 0..3 ("Stereo", "Art. H.", "Comp.", "DPTY"); segment s
// carries item 3 - s.
Bits<4> EncodeDI(const std::array<bool, 4>& ticks);

}  // namespace rds

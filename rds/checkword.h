#pragma once

#include <cstdint>
#include <optional>

namespace rds {

// The offset words that mark a block's place in its group (IEC 62106). C' stands in block 3
// of version B groups.
enum class Offset : std::uint8_t { kA, kB, kC, kCPrime, kD };

// The 10-bit offset word that is added (XOR) to a block's checkword.
std::uint16_t OffsetWord(Offset offset);

// The 10-bit checkword of 16 information bits, before the offset word is added: the
// remainder of info · x^10 divided by the RDS generator polynomial.
std::uint16_t Checkword(std::uint16_t info);

// The offset a received block carries when its 10 check bits are exactly the checkword
// plus one of the offset words; nullopt for a block with errors.
std::optional<Offset> OffsetOf(std::uint16_t info, std::uint16_t check);

}  // namespace rds

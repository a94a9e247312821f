#include "rds/checkword.h"

#include <array>

#include "rds/bits.h"

namespace rds {
namespace {

// RDS generator polynomial g(x) = x^10 + x^8 + x^7 + x^5 + x^4 + x^3 + 1 (IEC 62106).
constexpr std::uint32_t kGenerator = 0b101'1011'1001;

// Row k is x^(25 - k) mod g(x): the checkword contribution of information bit k, where
// k = 0 is the first (most significant) information bit of the block.
constexpr std::array<std::uint16_t, kInfoBits> MakeParityRows() {
  std::array<std::uint16_t, kInfoBits> rows{};
  for (std::size_t k = 0; k < kInfoBits; ++k) {
    std::uint32_t reg = 1;  // x^0
    for (std::size_t power = 0; power < 25 - k; ++power) {
      reg <<= 1;
      if (reg & (1U << kCheckBits)) reg ^= kGenerator;
    }
    rows[k] = static_cast<std::uint16_t>(reg);
  }
  return rows;
}

constexpr auto kParityRows = MakeParityRows();
static_assert(kParityRows[0] == 0x077);
static_assert(kParityRows[15] == 0x1B9);

// Offset words A, B, C, C', D (IEC 62106), in the order of Offset.
constexpr std::array<std::uint16_t, 5> kOffsetWords = {0x0FC, 0x198, 0x168, 0x350, 0x1B4};

}  // namespace

std::uint16_t OffsetWord(Offset offset) {
  return kOffsetWords[static_cast<std::size_t>(offset)];
}

std::uint16_t Checkword(std::uint16_t info) {
  std::uint16_t check = 0;
  for (std::size_t k = 0; k < kInfoBits; ++k) {
    if (info & (0x8000U >> k)) check ^= kParityRows[k];
  }
  return check;
}

std::optional<Offset> OffsetOf(std::uint16_t info, std::uint16_t check) {
  const std::uint16_t offset = Checkword(info) ^ check;
  for (std::size_t i = 0; i < kOffsetWords.size(); ++i) {
    if (kOffsetWords[i] == offset) return static_cast<Offset>(i);
  }
  return std::nullopt;
}

}  // namespace rds

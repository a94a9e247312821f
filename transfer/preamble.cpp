#include "transfer/preamble.h"

#include <array>

namespace transfer {
namespace {

// The encoder waits for these four bytes before it takes an image: the ASCII characters
// 'D' 0x44, 'u' 0x75, 'K' 0x4B, 'o' 0x6F, each most significant bit first.
constexpr Preamble kPreamble = {
    0, 1, 0, 0, 0, 1, 0, 0,  // D
    0, 1, 1, 1, 0, 1, 0, 1,  // u
    0, 1, 0, 0, 1, 0, 1, 1,  // K
    0, 1, 1, 0, 1, 1, 1, 1,  // o
};

constexpr bool CellsSpell(const Preamble& cells, const std::array<unsigned, 4>& chars) {
  for (std::size_t i = 0; i < cells.size(); ++i) {
    if (cells[i] != ((chars[i / 8] >> (7 - i % 8)) & 1U)) return false;
  }
  return true;
}
static_assert(CellsSpell(kPreamble, {0x44, 0x75, 0x4B, 0x6F}));

}  // namespace

const Preamble& PreambleCells() {
  return kPreamble;
}

}  // namespace transfer

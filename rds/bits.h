#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace rds {

// One bit per byte, always exactly 0 or 1: the line drivers turn a cell's value
// straight into a line level, so no other value may ever appear.
using BitCell = std::uint8_t;

// Arrays of bit cells hold the most significant bit at the lowest index.
template <std::size_t N>
using Bits = std::array<BitCell, N>;

constexpr std::size_t kGroupCount = 4;
constexpr std::size_t kBlocksPerGroup = 4;
constexpr std::size_t kBlockBits = 26;
constexpr std::size_t kInfoBits = 16;
constexpr std::size_t kCheckBits = 10;
constexpr std::size_t kGroupBits = kBlocksPerGroup * kBlockBits;
constexpr std::size_t kImageBits = kGroupCount * kGroupBits;
static_assert(kImageBits == 416);

// The encoder image: four type 0A groups, segment 0 first, cell 0 first on the wire.
using EncoderImage = Bits<kImageBits>;

}  // namespace rds

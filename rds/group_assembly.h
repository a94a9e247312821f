#pragma once

#include <array>
#include <cstdint>

#include "rds/bits.h"
#include "rds/field_encoding.h"

namespace rds {

// Builds the four type 0A groups (segment addresses 0 to 3) with the checkword plus
// offset word of every block in place.
EncoderImage EncodeGroups(const FieldBits& fields);

// One block as 16 information bits and 10 checkword-plus-offset bits.
struct Block {
  std::uint16_t info = 0;
  std::uint16_t check = 0;
};
using Group = std::array<Block, kBlocksPerGroup>;

// Reads the image back as blocks, for display.
std::array<Group, kGroupCount> SplitImage(const EncoderImage& image);

}  // namespace rds

#include "rds/group_assembly.h"

#include "rds/checkword.h"

namespace rds {
namespace {

// Offset words of blocks 1 to 4; C' never occurs in type 0A.
constexpr std::array<Offset, kBlocksPerGroup> kBlockOffsets = {Offset::kA, Offset::kB, Offset::kC,
                                                               Offset::kD};

// Segment address bits C1 C0 of groups 0 to 3.
constexpr std::array<std::array<BitCell, 2>, kGroupCount> kSegmentAddress = {
    {{0, 0}, {0, 1}, {1, 0}, {1, 1}}};

template <std::size_t N>
void Copy(EncoderImage& image, std::size_t at, const BitCell* from) {
  for (std::size_t i = 0; i < N; ++i) image[at + i] = from[i];
}

void PutByte(EncoderImage& image, std::size_t at, std::uint8_t value) {
  for (int j = 0; j < 8; ++j) image[at + j] = BitOn(value, 7 - j) ? 1 : 0;
}

void PutCheckword(EncoderImage& image, std::size_t start, Offset offset) {
  std::uint16_t info = 0;
  for (std::size_t k = 0; k < kInfoBits; ++k) info = (info << 1) | image[start + k];
  const std::uint16_t check = Checkword(info) ^ OffsetWord(offset);
  for (std::size_t m = 0; m < kCheckBits; ++m) {
    image[start + kInfoBits + m] = (check >> (kCheckBits - 1 - m)) & 1U;
  }
}

}  // namespace

EncoderImage EncodeGroups(const FieldBits& fields) {
  EncoderImage image{};
  for (std::size_t g = 0; g < kGroupCount; ++g) {
    const std::size_t b = kGroupBits * g;
    Copy<16>(image, b + 0, fields.pi.data());
    // Cells 26 to 30 stay 0: group type 0000, version A.
    image[b + 31] = fields.tp;
    Copy<5>(image, b + 32, fields.pty.data());
    image[b + 37] = fields.ta;
    image[b + 38] = fields.ms;
    image[b + 39] = fields.di[g];
    image[b + 40] = kSegmentAddress[g][0];
    image[b + 41] = kSegmentAddress[g][1];
    Copy<16>(image, b + 52, fields.af.data() + 16 * g);
    PutByte(image, b + 78, fields.ps[2 * g]);
    PutByte(image, b + 86, fields.ps[2 * g + 1]);
    for (std::size_t block = 0; block < kBlocksPerGroup; ++block) {
      PutCheckword(image, b + kBlockBits * block, kBlockOffsets[block]);
    }
  }
  return image;
}

std::array<Group, kGroupCount> SplitImage(const EncoderImage& image) {
  std::array<Group, kGroupCount> groups{};
  for (std::size_t g = 0; g < kGroupCount; ++g) {
    for (std::size_t block = 0; block < kBlocksPerGroup; ++block) {
      const std::size_t start = kGroupBits * g + kBlockBits * block;
      Block& out = groups[g][block];
      for (std::size_t i = 0; i < kInfoBits; ++i) out.info = (out.info << 1) | image[start + i];
      for (std::size_t i = 0; i < kCheckBits; ++i) {
        out.check = (out.check << 1) | image[start + kInfoBits + i];
      }
    }
  }
  return groups;
}

}  // namespace rds

#include "rds/group_assembly.h"

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

// Offset words A, B, C, D for blocks 1 to 4 (IEC 62106); C' never occurs in type 0A.
constexpr std::array<std::uint16_t, kBlocksPerGroup> kOffsetWords = {0x0FC, 0x198, 0x168, 0x1B4};

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

void PutCheckword(EncoderImage& image, std::size_t start, std::uint16_t offset) {
  for (std::size_t k = 0; k < kInfoBits; ++k) {
    if (image[start + k] == 0) continue;
    for (std::size_t m = 0; m < kCheckBits; ++m) {
      image[start + kInfoBits + m] ^= (kParityRows[k] >> (kCheckBits - 1 - m)) & 1U;
    }
  }
  for (std::size_t m = 0; m < kCheckBits; ++m) {
    image[start + kInfoBits + m] ^= (offset >> (kCheckBits - 1 - m)) & 1U;
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
      PutCheckword(image, b + kBlockBits * block, kOffsetWords[block]);
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

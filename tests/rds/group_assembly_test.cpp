#include "rds/group_assembly.h"

#include <gtest/gtest.h>

#include <random>

#include "rds/format.h"
#include "rds/station.h"

namespace rds {
namespace {

TEST(EncodeGroups, InitialWindowValues) {
  EXPECT_EQ(FormatGroups(Encode(StationSettings{}).image),
            "FFFF/031 0408/1EB E0CD/1E9 464D/04B\n"
            "FFFF/031 0409/052 CDCD/2B3 2052/2E1\n"
            "FFFF/031 040A/299 CDCD/2B3 4144/0E5\n"
            "FFFF/031 040B/320 CDCD/2B3 494F/274\n");
}

StationSettings SecondExample() {
  StationSettings s;
  s.ps = "ABCDEFGH";
  s.pi = "2A07";
  s.pty = 10;
  s.tp = 1;
  s.ta = 1;
  s.ms = 1;
  s.di = {true, false, false, false};
  s.af = {"87.6", "98.5", "107.9", "", "", "", ""};
  return s;
}

TEST(EncodeGroups, StationWithEveryField) {
  EXPECT_EQ(FormatGroups(Encode(SecondExample()).image),
            "2A07/024 0558/2BF E301/08A 4142/0CA\n"
            "2A07/024 0559/306 6ECC/1B6 4344/15D\n"
            "2A07/024 055A/1CD CDCD/2B3 4546/0E7\n"
            "2A07/024 055F/329 CDCD/2B3 4748/273\n");
}

TEST(EncodeGroups, AllZeroInformationGivesTheOffsetWord) {
  StationSettings s;
  s.pi = "0000";
  const auto groups = SplitImage(Encode(s).image);
  EXPECT_EQ(groups[0][0].info, 0x0000);
  EXPECT_EQ(groups[0][0].check, 0x0FC);
}

TEST(EncodeGroups, BitsLineHasEveryCell) {
  const std::string bits = FormatBits(Encode(StationSettings{}).image);
  ASSERT_EQ(bits.size(), 417U);
  EXPECT_EQ(bits.substr(0, 26), "11111111111111110000110001");  // FFFF/031
}

// Bit-serial division by g(x), independent of the parity table: the syndrome of a
// correctly encoded block is its offset word.
std::uint16_t Syndrome(const EncoderImage& image, std::size_t start) {
  std::uint32_t reg = 0;
  for (std::size_t i = 0; i < kBlockBits; ++i) {
    reg = (reg << 1) | image[start + i];
    if (reg & (1U << 10)) reg ^= 0b101'1011'1001;
  }
  return static_cast<std::uint16_t>(reg);
}

TEST(EncodeGroups, RandomSettingsPassTheParityCheckOfEveryBlock) {
  constexpr std::uint16_t kOffsets[] = {0x0FC, 0x198, 0x168, 0x1B4};
  std::mt19937 rng(62106);
  const std::string hex = "0123456789abcdefABCDEF";
  for (int round = 0; round < 500; ++round) {
    StationSettings s;
    s.ps.clear();
    for (int i = 0, n = static_cast<int>(rng() % 9); i < n; ++i) {
      s.ps += static_cast<char>(0x20 + rng() % 0xDF);
    }
    s.pi.clear();
    for (int i = 0; i < 4; ++i) s.pi += hex[rng() % hex.size()];
    s.pty = static_cast<int>(rng() % 33) - 1;
    s.tp = static_cast<int>(rng() % 3) - 1;
    s.ta = static_cast<int>(rng() % 3) - 1;
    s.ms = static_cast<int>(rng() % 3) - 1;
    for (bool& d : s.di) d = rng() % 2;
    for (auto& af : s.af) {
      const int tenths = 870 + static_cast<int>(rng() % 220);
      af = rng() % 4 ? std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) : "";
    }
    const EncoderImage image = Encode(s).image;
    for (BitCell cell : image) ASSERT_LE(cell, 1);
    for (std::size_t g = 0; g < kGroupCount; ++g) {
      for (std::size_t block = 0; block < kBlocksPerGroup; ++block) {
        ASSERT_EQ(Syndrome(image, kGroupBits * g + kBlockBits * block), kOffsets[block])
            << "round " << round << " group " << g << " block " << block;
      }
      // Group type 0A and the group's own segment address, whatever the settings.
      for (std::size_t i = 26; i <= 30; ++i) EXPECT_EQ(image[kGroupBits * g + i], 0);
      EXPECT_EQ(image[kGroupBits * g + 40], g >> 1);
      EXPECT_EQ(image[kGroupBits * g + 41], g & 1);
    }
  }
}

TEST(EncodeGroups, BuildingTwiceGivesTheSameImage) {
  const StationSettings s = SecondExample();
  const EncoderImage first = Encode(s).image;
  Encode(StationSettings{});
  EXPECT_EQ(Encode(s).image, first);
}

}  // namespace
}  // namespace rds

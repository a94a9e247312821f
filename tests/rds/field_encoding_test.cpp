#include "rds/field_encoding.h"

#include <gtest/gtest.h>

#include <bitset>
#include <cctype>

#include "rds/station.h"

namespace rds {
namespace {

template <std::size_t N>
std::string AsText(const Bits<N>& bits) {
  std::string s;
  for (BitCell b : bits) s += static_cast<char>('0' + b);
  return s;
}

TEST(BitOn, TestsBitsOfByteValuesAndNothingOfNegativeOnes) {
  EXPECT_TRUE(BitOn(224, 7));
  EXPECT_FALSE(BitOn(224, 4));
  EXPECT_TRUE(BitOn(205, 0));
  for (int n = 0; n < 8; ++n) EXPECT_FALSE(BitOn(-1, n)) << n;
  for (int v = 0; v < 256; ++v) {
    for (int n = 0; n < 8; ++n) EXPECT_EQ(BitOn(v, n), ((v >> n) & 1) == 1) << v << ' ' << n;
  }
}

TEST(CheckPI, UpperCasesValidTextAndResetsEverythingElse) {
  EXPECT_EQ(CheckPI("abcd"), "ABCD");
  EXPECT_EQ(CheckPI("2a07"), "2A07");
  EXPECT_EQ(CheckPI("0000"), "0000");
  EXPECT_EQ(CheckPI("12"), "FFFF");
  EXPECT_EQ(CheckPI(""), "FFFF");
  EXPECT_EQ(CheckPI("12345"), "FFFF");
  EXPECT_EQ(CheckPI("12G4"), "FFFF");
  EXPECT_EQ(CheckPI("12g4"), "FFFF");
  EXPECT_EQ(CheckPI("\xE1"
                    "BCD"),
            "FFFF");  // no upper-casing beyond ASCII
}

TEST(EncodePI, FirstCharacterIsTheTopNibble) {
  EXPECT_EQ(AsText(EncodePI("ABCD")), "1010101111001101");
  EXPECT_EQ(AsText(EncodePI("FFFF")), "1111111111111111");
  EXPECT_EQ(AsText(EncodePI("0000")), "0000000000000000");
  EXPECT_EQ(AsText(EncodePI("2A07")), "0010101000000111");
  // Every digit, letters in either case, is its own nibble.
  const std::string digits = "0123456789ABCDEF";
  for (std::size_t v = 0; v < digits.size(); ++v) {
    const std::string nibble = std::bitset<4>(v).to_string();
    for (const char c : {digits[v], static_cast<char>(std::tolower(digits[v]))}) {
      EXPECT_EQ(AsText(EncodePI(CheckPI(std::string(4, c)))), nibble + nibble + nibble + nibble)
          << c;
    }
  }
}

TEST(EncodePTY, ListPositionIsTheCode) {
  EXPECT_EQ(AsText(EncodePTY(10)), "01010");
  EXPECT_EQ(AsText(EncodePTY(31)), "11111");
  EXPECT_EQ(AsText(EncodePTY(-1)), "00000");
}

TEST(FlagsAndDI, OnlyPositionOneSetsAFlagAndSegmentsTakeItemsInReverse) {
  EXPECT_EQ(EncodeFlag(1), 1);
  EXPECT_EQ(EncodeFlag(0), 0);
  EXPECT_EQ(EncodeFlag(-1), 0);
  EXPECT_EQ(AsText(EncodeDI({true, false, false, false})), "0001");  // Stereo
  EXPECT_EQ(AsText(EncodeDI({false, false, false, true})), "1000");  // DPTY
}

TEST(CapturePS, PadsWithSpacesAndCutsAtEight) {
  const auto ab = CapturePS("AB");
  EXPECT_EQ(std::string(ab.begin(), ab.end()), "AB      ");
  const auto empty = CapturePS("");
  EXPECT_EQ(std::string(empty.begin(), empty.end()), "        ");
  const auto lower = CapturePS("radio one");
  EXPECT_EQ(std::string(lower.begin(), lower.end()), "radio on");
}

}  // namespace
}  // namespace rds

#include "rds/rbds.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace rds {
namespace {

// Both ways over the published examples, each end of each range and the special forms.
TEST(CallLetters, GiveThePiAndBack) {
  const struct {
    const char* call;
    std::uint16_t pi;
  } cases[] = {
      {"KGNU", 0x213E}, {"WABC", 0x54C4},                    // the published examples
      {"KAAB", 0xA101}, {"KZZZ", 0x54A7},                    // the K range's ends
      {"WAAB", 0x54A9}, {"WZZZ", 0x994F},                    // the W range's ends
      {"KEX", 0x9950},  {"KGB", 0x9991},  {"WRC", 0x99B9},   // three letters, first and last
      {"KACA", 0xA134}, {"KEEI", 0xAF1B}, {"KAAA", 0xAF10},  // x0yz, xy00, x000
      {"WAAA", 0x54A8}, {"KGNW", 0x2140},                    // the last digit alone 0
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.call);
    EXPECT_EQ(PiFromCallLetters(c.call), c.pi);
    EXPECT_EQ(CallLettersFromPi(c.pi), c.call);
  }
  EXPECT_EQ(PiFromCallLetters("kgnu-FM"), 0x213E);
}

TEST(CallLetters, CodesOfNoCallLettersGiveNone) {
  for (const std::uint16_t pi :
       {0x0FFF, 0x9961, 0x99BA, 0xB001, 0xC201, 0xFFFF, 0x0000, 0x1034, 0x1B00, 0xA100, 0xAFA5}) {
    EXPECT_EQ(CallLettersFromPi(pi), std::nullopt) << std::hex << pi;
  }
}

TEST(CallLetters, RefusesWhatHasNoPi) {
  for (const char* call : {"", "KG", "KGNUX", "K1NU", "CBLA", "KAB", "ABCD", "K NU"}) {
    EXPECT_THROW(PiFromCallLetters(call), std::invalid_argument) << call;
  }
}

}  // namespace
}  // namespace rds

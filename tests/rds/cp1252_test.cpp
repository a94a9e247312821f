#include "rds/cp1252.h"

#include <gtest/gtest.h>

namespace rds {
namespace {

TEST(Cp1252, RoundTripsEveryDefinedByte) {
  for (int b = 1; b < 256; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const auto back = Utf8ToCp1252(Cp1252ToUtf8(byte));
    if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D) continue;
    ASSERT_TRUE(back.has_value()) << b;
    EXPECT_EQ(*back, byte) << b;
  }
}

TEST(Cp1252, ConvertsKnownCharacters) {
  EXPECT_EQ(Utf8ToCp1252("R\xC3\xA1"
                         "dio"),
            std::string("R\xE1"
                        "dio"));                                 // á
  EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xAC"), std::string("\x80"));  // €
  EXPECT_EQ(Cp1252ToUtf8("\x80\x9F"), "\xE2\x82\xAC\xC5\xB8");   // € Ÿ
}

TEST(Cp1252, RefusesWhatItCannotHoldAndMalformedText) {
  EXPECT_FALSE(Utf8ToCp1252("\xD0\x96"));          // Cyrillic Zhe
  EXPECT_FALSE(Utf8ToCp1252("\xF0\x9F\x93\xBB"));  // radio emoji
  EXPECT_FALSE(Utf8ToCp1252("\xC3"));              // cut short
  EXPECT_FALSE(Utf8ToCp1252("\xA1"));              // stray continuation byte
}

}  // namespace
}  // namespace rds

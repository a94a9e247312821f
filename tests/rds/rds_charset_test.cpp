#include "rds/rds_charset.h"

#include <gtest/gtest.h>

#include "rds/cp1252.h"
#include "rds/group_assembly.h"
#include "rds/station.h"

namespace rds {
namespace {

std::uint8_t FromUtf8(const char* utf8) {
  const auto bytes = Utf8ToCp1252(utf8);
  EXPECT_TRUE(bytes && bytes->size() == 1) << utf8;
  return ToRdsCharacter(static_cast<unsigned char>((*bytes)[0]));
}

TEST(RdsCharset, AccentedLettersAndSymbolsGetTheirTableCodes) {
  // Looked up in the RDS basic character table.
  const std::pair<const char*, int> cases[] = {
      {"á", 0x80}, {"é", 0x82}, {"ß", 0x8D}, {"ä", 0x91}, {"ö", 0x97}, {"ü", 0x99},
      {"€", 0xA9}, {"£", 0xAA}, {"Ä", 0xD1}, {"Ö", 0xD7}, {"Ü", 0xD9}, {"Å", 0xE1},
      {"ñ", 0x9A}, {"ç", 0x9B}, {"Ø", 0xE7}, {"°", 0xBB}, {"²", 0xB2}, {"½", 0xBD},
      {"§", 0xBF}, {"Š", 0xCC}, {"œ", 0xF3}, {"©", 0xA2}, {"¿", 0xB9}, {"ð", 0xEF},
  };
  for (const auto& [text, code] : cases) EXPECT_EQ(FromUtf8(text), code) << text;
}

TEST(RdsCharset, AsciiGoesThroughUnchanged) {
  for (int c = 0x20; c <= 0x7E; ++c) EXPECT_EQ(ToRdsCharacter(static_cast<unsigned char>(c)), c);
}

TEST(RdsCharset, MissingCharactersLoseTheirAccentOrBecomeSpaces) {
  EXPECT_EQ(FromUtf8("ÿ"), 'y');
  EXPECT_EQ(FromUtf8("Ÿ"), 'Y');
  EXPECT_EQ(FromUtf8("™"), ' ');
  EXPECT_EQ(FromUtf8("«"), ' ');
  EXPECT_EQ(ToRdsCharacter(0x09), ' ');
  EXPECT_EQ(ToRdsCharacter(0x7F), ' ');
  EXPECT_EQ(ToRdsCharacter(0x81), ' ');  // undefined in Windows-1252
}

TEST(RdsCharset, TableCodesAreShownUpToItsEdges) {
  const std::pair<std::uint8_t, std::optional<char32_t>> cases[] = {
      {0x1F, std::nullopt}, {0x20, U' '}, {0x7D, U'}'}, {0x7E, U'¯'},
      {0x7F, std::nullopt}, {0x80, U'á'}, {0xFE, U'ŧ'}, {0xFF, std::nullopt},
  };
  for (const auto& [code, shown] : cases) EXPECT_EQ(RdsCharacterToUnicode(code), shown) << +code;
}

TEST(RdsCharset, EveryWindows1252CharacterIsShownAsItselfWhereTheTableHasIt) {
  for (int b = 0x80; b <= 0xFF; ++b) {
    const std::uint8_t code = ToRdsCharacter(static_cast<unsigned char>(b));
    const auto shown = RdsCharacterToUnicode(code);
    ASSERT_TRUE(shown.has_value()) << b;
    const char32_t typed = Cp1252ToUnicode(static_cast<unsigned char>(b));
    if (code >= 0x80 && b != 0xD0) {  // Ð is sent as the look-alike Đ
      EXPECT_EQ(*shown, typed) << std::hex << b;
    }
  }
}

TEST(RdsCharset, PsNameGoesOnTheAirInTableCodes) {
  StationSettings s;
  s.ps = *Utf8ToCp1252("Rádio 1");
  const Encoding e = Encode(s);
  EXPECT_EQ(e.fields.ps, (std::array<std::uint8_t, 8>{'R', 0x80, 'd', 'i', 'o', ' ', '1', ' '}));
  // Group 0 carries characters 1 and 2 in block 4.
  EXPECT_EQ(SplitImage(e.image)[0][3].info, 0x5280);
}

}  // namespace
}  // namespace rds

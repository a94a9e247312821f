#include "rds/station_checks.h"

#include <gtest/gtest.h>

#include <cstring>

namespace rds {
namespace {

// Each check at its limit: the settings that just raise it and those that just do not.
TEST(CheckStation, WarnsOfEachMistakeAndOfNothingElse) {
  const struct {
    const char* pi;
    const char* ps;
    int tp, ta;
    AfTexts af;
    const char* warnings;  // how they begin, or all of them when ending in \n; "" for none
  } cases[] = {
      // clang-format off
      {"2A07", "NEWS", 1, 0, {}, ""},
      {"ffff", "NEWS", 1, 0, {},
       "PI FFFF is the factory default or unset: receivers may confuse this station with others"},
      {"FFFE", "NEWS", 1, 0, {}, ""},
      {"0000", "NEWS", 1, 0, {}, "PI 0000 is the factory default"},
      {"0FFF", "NEWS", 1, 0, {}, "PI 0FFF is the factory default"},
      {"1000", "NEWS", 1, 0, {}, ""},
      {"12G4", "NEWS", 1, 0, {}, "PI '12G4' is not four hexadecimal digits: it is sent as FFFF\nPI FFFF"},
      {"2A07", "NEWS", 0, 1, {}, "TA is 1 while TP is 0: receivers handle"},
      {"2A07", "NEWS", 1, 1, {}, ""},
      {"2A07", "NEWS", 0, 0, {}, ""},
      {"2A07", "NEWS", 1, 0, {"98.5", "87.6", "98,5", "98.5", "87.6"},
       "AF 98.5 is listed twice: the second entry wastes a slot\n"
       "AF 87.6 is listed twice: the second entry wastes a slot\n"},
      {"2A07", "NEWS", 1, 0, {"98.5", "98.6", "", "107.9"}, ""},
      {"2A07", "NEWS", 1, 0, {"98.5", "985", "108.0", "108"}, ""},  // dropped: not on air
      {"2A07", "FM RADIO", 1, 0, {}, "PS is still the program's default 'FM RADIO'\n"},
      {"2A07", "FM RADI", 1, 0, {}, ""},
      // clang-format on
  };
  for (const auto& c : cases) {
    StationSettings s;
    s.pi = c.pi, s.ps = c.ps, s.tp = c.tp, s.ta = c.ta, s.af = c.af;
    std::string texts;
    for (const StationWarning& w : CheckStation(s)) texts += WarningText(w) + "\n";
    SCOPED_TRACE(std::string(c.pi) + " " + c.ps + " " + c.af[0]);
    EXPECT_EQ(texts.substr(0, std::strlen(c.warnings)), c.warnings);
    EXPECT_EQ(texts.empty(), *c.warnings == '\0') << texts;
    if (std::string_view(c.warnings).ends_with('\n')) EXPECT_EQ(texts, c.warnings);
  }
}

}  // namespace
}  // namespace rds

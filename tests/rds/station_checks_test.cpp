#include "rds/station_checks.h"

#include <gtest/gtest.h>

namespace rds {
namespace {

StationSettings Clean() {
  StationSettings s;
  s.ps = "NEWS FM";
  s.pi = "2A07";
  return s;
}

std::string Texts(const std::vector<StationWarning>& warnings) {
  std::string out;
  for (const auto& w : warnings) out += WarningText(w) + "\n";
  return out;
}

// Each check at its limit: the settings that just raise it and those that just do not.
TEST(CheckStation, WarnsOfEachMistakeAndOfNothingElse) {
  const struct {
    const char* what;
    void (*change)(StationSettings&);
    const char* warnings;
  } cases[] = {
      {"clean", [](StationSettings&) {}, ""},
      {"PI FFFF", [](StationSettings& s) { s.pi = "ffff"; },
       "PI FFFF is the factory default or unset: receivers may confuse this station with others\n"},
      {"PI FFFE", [](StationSettings& s) { s.pi = "FFFE"; }, ""},
      {"PI 0000", [](StationSettings& s) { s.pi = "0000"; }, "PI 0000 is the factory default"},
      {"PI 0FFF", [](StationSettings& s) { s.pi = "0FFF"; }, "PI 0FFF is the factory default"},
      {"PI 1000", [](StationSettings& s) { s.pi = "1000"; }, ""},
      {"PI typed wrong", [](StationSettings& s) { s.pi = "12G4"; },
       "PI '12G4' is not four hexadecimal digits: it is sent as FFFF\nPI FFFF is the factory"},
      {"TA without TP", [](StationSettings& s) { s.ta = 1, s.tp = 0; },
       "TA is 1 while TP is 0: receivers handle"},
      {"TA with TP", [](StationSettings& s) { s.ta = 1, s.tp = 1; }, ""},
      {"TP without TA", [](StationSettings& s) { s.ta = 0, s.tp = 0; }, ""},
      {"AF twice",
       [](StationSettings& s) {
         s.af = {"98.5", "87.6", "98,5", "98.5", "87.6"};
       },
       "AF 98.5 is listed twice: the second entry wastes a slot\nAF 87.6 is listed twice"},
      {"AF apart",
       [](StationSettings& s) {
         s.af = {"98.5", "98.6", "", "107.9"};
       },
       ""},
      {"AF dropped",
       [](StationSettings& s) {
         s.af = {"98.5", "985", "108.0", "108"};
       },
       ""},
      {"PS default", [](StationSettings& s) { s.ps = "FM RADIO"; },
       "PS is still the program's default 'FM RADIO'\n"},
      {"PS near it", [](StationSettings& s) { s.ps = "FM RADI"; }, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    StationSettings s = Clean();
    c.change(s);
    const std::string texts = Texts(CheckStation(s));
    EXPECT_EQ(texts.substr(0, std::string(c.warnings).size()), c.warnings);
    EXPECT_EQ(texts.empty(), std::string(c.warnings).empty()) << texts;
  }
}

TEST(CheckStation, ComparesThePiWithTheCallLettersGiven) {
  StationSettings s = Clean();
  s.pi = "213E";
  EXPECT_TRUE(CheckStation(s, "kgnu").empty());
  EXPECT_TRUE(CheckStation(s).empty());
  s.pi = "213F";
  EXPECT_EQ(Texts(CheckStation(s, "kgnu")),
            "PI 213F does not match the call letters KGNU (213E)\n");
  const auto warnings = CheckStation(s, "KGNU");
  EXPECT_TRUE(WarningConcerns(warnings[0], "PI"));
  EXPECT_FALSE(WarningConcerns(warnings[0], "PS"));
}

}  // namespace
}  // namespace rds

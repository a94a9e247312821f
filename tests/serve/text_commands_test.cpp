#include "serve/text_commands.h"

#include <gtest/gtest.h>

#include "tests/serve/fake_station.h"

namespace serve {
namespace {

using testing::FakeStation;

// The answer to one line, when it comes at once (the fake saves at once).
std::string RunTextCommand(std::string_view line, StationControl& station) {
  std::string answer = "(no answer)";
  serve::RunTextCommand(line, station, [&](std::string a) { answer = std::move(a); });
  return answer;
}

struct Case {
  std::string line;
  std::string reply;
  std::string changed;  // the fields changed, empty for none
};

TEST(TextCommands, AnswersAndChangesAsTheOptionsCheck) {
  const std::vector<Case> cases = {
      {"PS=HELLO", "OK", "PS"},
      {"ps=R\xC3\xA1"
       "dio",
       "OK", "PS"},
      {"PS=ABCDEFGHI", "NO at most 8 characters, got 9", ""},
      {"PS=\xE2\x82\xAC\xE4\xB8\xAD",
       "NO text holds a character the Windows-1252 character set "
       "cannot hold",
       ""},
      {"PS=\xC3\xBF",
       "NO '\xC3\xBF' is not in the RDS character set; it would go on the air as 'y'", ""},
      {"PI=12ab", "OK", "PI"},
      {"PTY=31", "OK", "PTY"},
      {"PTY=32", "NO expected a number from 0 to 31, got '32'", ""},
      {"TA=1", "OK", "TA"},
      {"TA=2", "NO expected a number from 0 to 1, got '2'", ""},
      {"MS=0", "OK", "MS"},
      {"DI=10x1", "NO expected four characters 0 or 1 (DPTY, Comp., Art. H., Stereo), got '10x1'",
       ""},
      {"AF=98.5,87.6", "OK", "AF"},
      {"AF=88,89,90,91,92,93,94,95", "NO at most 7 alternative frequencies", ""},
      {"PI=zzzz", "NO expected four hexadecimal digits, got 'zzzz'", ""},
      {"AF=98.5,200", "NO outside 87.6 to 107.9 MHz, got '200'", ""},
      {"AF=98.55", "NO at most one decimal is sent (steps of 0.1 MHz), got '98.55'", ""},
      {"AF=9x.5", "NO expected a frequency in MHz such as 98.5, got '9x.5'", ""},
      {"AF=", "OK", "AF"},
      // The mistakes stations make most are taken, with a word after the OK; the station
      // starts at the window's PS FM RADIO and PI FFFF, TP 1 and TA 0.
      {"PI=ffff",
       "OK warning: PI FFFF is the factory default or unset: receivers may confuse "
       "this station with others",
       "PI"},
      {"PS=FM RADIO", "OK warning: PS is still the program's default 'FM RADIO'", "PS"},
      {"TP=0", "OK", "TP"},
      {"AF=98.5,87.6,98.5,87.6",
       "OK warning: AF 98.5 is listed twice: the second entry wastes "
       "a slot; AF 87.6 is listed twice: the second entry wastes a slot",
       "AF"},
      {"XX=1", "NO unknown field 'XX'", ""},
      {"PS?", "PS=FM RADIO", ""},
      {"DI?", "DI=0000", ""},
      {"HELLO", "NO unknown command", ""},
      {"alarmtest", "NO no alarm command is set", ""},
      {"PS=\xC3", "NO text is not valid UTF-8", ""},
      {"PS=\xED\xA0\x80", "NO text is not valid UTF-8", ""},
      {std::string(256, 'A'), "NO line longer than 255 bytes", ""},
      {std::string(255, 'A'), "NO unknown command", ""},
  };
  for (const Case& c : cases) {
    FakeStation station;
    EXPECT_EQ(RunTextCommand(c.line, station), c.reply) << c.line;
    EXPECT_EQ(station.changes,
              c.changed.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.changed})
        << c.line;
  }
}

TEST(TextCommands, SetValuesReadBackInTheirOwnForm) {
  FakeStation station;
  // From a settings file: a German window's comma is read; what a send drops is not answered.
  station.settings.af = {"101,2", "1O1.2", "9S.5", "200", "98.5"};
  EXPECT_EQ(RunTextCommand("AF?", station), "AF=101.2,98.5");
  for (const char* line : {"PS=R\xC3\xA1"
                           "dio",
                           "PI=12AB", "DI=1001", "AF=98.5,107.9", "TP=0"}) {
    ASSERT_EQ(RunTextCommand(line, station), "OK") << line;
  }
  EXPECT_EQ(station.settings.ps,
            "R\xE1"
            "dio");
  EXPECT_EQ(station.settings.af[0], "98.5");
  EXPECT_EQ((std::array<bool, 4>{true, false, false, true}), station.settings.di);
  EXPECT_EQ(RunTextCommand("PS?", station),
            "PS=R\xC3\xA1"
            "dio");
  EXPECT_EQ(RunTextCommand("AF?", station), "AF=98.5,107.9");
  EXPECT_EQ(RunTextCommand("DI?", station), "DI=1001");
  EXPECT_EQ(RunTextCommand("TP?", station), "TP=0");
  EXPECT_EQ(RunTextCommand("SEND", station), "OK");
  EXPECT_EQ(station.send_requests, 1);
  station.save_failure = "disk full";
  EXPECT_EQ(RunTextCommand("TA=1", station),
            "OK but not saved: disk full; warning: TA is 1 while TP is 0: receivers handle a "
            "traffic announcement without traffic program unpredictably");
  station.save_failure.reset();
  station.call_letters = "KGNU";
  EXPECT_EQ(RunTextCommand("PI=213E", station), "OK");
  EXPECT_EQ(RunTextCommand("PI=213F", station),
            "OK warning: PI 213F does not match the call letters KGNU (213E)");
}

TEST(TextLineReader, SplitsOnLfDropsCrAndCutsOverlongLines) {
  TextLineReader reader;
  std::vector<std::pair<std::string, bool>> lines;
  const auto sink = [&](std::string_view line, bool overlong) {
    lines.emplace_back(std::string(line), overlong);
  };
  reader.Feed("PS=A\r\nTA", sink);
  reader.Feed("=1\n" + std::string(300, 'x') + "\nSEND\n" + std::string(255, 'y') + "\r\n", sink);
  EXPECT_EQ(lines, (std::vector<std::pair<std::string, bool>>{{"PS=A", false},
                                                              {"TA=1", false},
                                                              {"", true},
                                                              {"SEND", false},
                                                              {std::string(255, 'y'), false}}));
}

}  // namespace
}  // namespace serve

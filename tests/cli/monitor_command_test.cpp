#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "rds/station.h"
#include "tests/cli/run_cli.h"
#include "tests/receiver/mpx_synth.h"

namespace cli {
namespace {

using testing::Result;
using testing::RunCli;

// 2 s of a station with its RDS at 1.5 kHz, as rtl_fm writes it at 171 kHz, in a WAV file.
class MonitorLevels : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    rds::StationSettings s;
    s.ps = "LEVELS";
    const auto image = rds::Encode(s).image;
    receiver::testing::MpxOptions o;
    o.discriminator = true;
    o.audio = o.stereo = false;
    o.pilot_level = 6.75 / 171;
    o.rds_level = 1.5 / 171 / receiver::testing::RdsStreamPeak();
    o.tone_level = 60 / 171.0;
    receiver::testing::WriteWav16(
        file_, receiver::testing::SynthesizeMpx({image.begin(), image.end()}, 2, o), 171000);
  }
  static void TearDownTestSuite() { std::filesystem::remove(file_); }

  static Result Monitor(std::vector<std::string> options) {
    options.insert(options.begin(), {"monitor", "--input", file_.string()});
    return RunCli(options);
  }

  static inline const std::filesystem::path file_ =
      std::filesystem::path(::testing::TempDir()) / "rdsq7_levels.wav";
};

TEST_F(MonitorLevels, ReportsTheLevelsAndWarnsOfThoseOutsideTheirLimits) {
  const Result json = Monitor({"--format", "json"});
  EXPECT_EQ(json.status, 0);
  const auto levels = json.out.find("{\"levels\":{\"time\":2.000,\"pilot_khz\":6.7");
  ASSERT_NE(levels, std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"faults\":[\"rds-level\"]}}", levels), std::string::npos);

  const std::string low = "RDS injection 1\\.[45]\\d kHz, below 2\\.0 kHz\n";
  const Result text = Monitor({});
  EXPECT_TRUE(std::regex_search(text.out, std::regex("00:00:02.000 outside limits: " + low)))
      << text.out;

  const Result expect = Monitor({"--ps", "LEVELS", "--pi", "FFFF", "--tp", "1", "--pty", "0"});
  EXPECT_EQ(expect.status, 0) << expect.err;
  EXPECT_TRUE(std::regex_search(
      expect.err, std::regex("^rdsq7-cli: warning: level outside its limits: " + low + "$")))
      << expect.err;
  const Result lower = Monitor({"--ps", "LEVELS", "--rds-injection-min", "1.4"});
  EXPECT_EQ(lower.status, 0) << lower.err;
  EXPECT_EQ(lower.err.find("warning"), std::string::npos) << lower.err;
}

TEST_F(MonitorLevels, RefusesLimitsThatContradictEachOther) {
  for (const auto& options :
       std::vector<std::vector<std::string>>{{"--pilot-min", "7.6"},
                                             {"--rds-injection-max", "1.9"},
                                             {"--full-scale-khz", "100", "--pilot-khz", "6.75"},
                                             {"--deviation-max", "75k"},
                                             {"--mpx-power-max", "21"}}) {
    EXPECT_EQ(Monitor(options).status, 2) << options[0];
  }
}

}  // namespace
}  // namespace cli

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "rds/station.h"
#include "tests/cli/run_cli.h"
#include "tests/receiver/mpx_synth.h"

namespace cli {
namespace {

using receiver::testing::MpxOptions;
using receiver::testing::SynthesizeMpx;
using Samples = std::vector<std::int16_t>;
using testing::Result;

std::vector<std::uint8_t> Bits() {
  rds::StationSettings s;
  s.ps = "ON AIR 7";
  s.di = {true, false, true, false};
  s.af = {"87.6", "98.5", "107.9", "", "", "", ""};
  const auto image = rds::Encode(s).image;
  return {image.begin(), image.end()};
}

// The monitor on a raw capture of these samples, expecting the station of Bits().
Result Monitor(const Samples& samples, std::vector<std::string> args) {
  const auto path = std::filesystem::temp_directory_path() / "rdsq7-monitor-test.raw";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(samples.data()),
             static_cast<std::streamsize>(samples.size() * sizeof samples[0]));
  args.insert(args.begin(), {"monitor", "--input", path.string(), "--ps", "ON AIR 7", "--di",
                             "0101", "--af", "87.6", "--af", "98.5", "--af", "107.9"});
  return testing::RunCli(args);
}

// Inputs with nothing of a station's RDS: nothing shown, exit 3 (no RDS), never a mismatch.
TEST(MonitorCommand, SaysNoRdsOnEveryInputWithoutIt) {
  struct Kind {
    const char* what;
    double rate_hz, rds_level, noise_rms;
    bool programme;
    const char* rate;  // as --rate gives it
    bool fm = false;   // an FM receiver on an empty channel
  };
  const Kind kinds[] = {
      {"white noise 1%", 171000, 0, 0.01, false, "171000"},
      {"white noise 30%", 171000, 0, 0.3, false, "171000"},
      {"an empty channel", 171000, 0, 0, false, "171000", true},
      {"pilot and programme without RDS", 171000, 0, 0, true, "171000"},
      {"a 250 kHz station read as 192 kHz", 250000, 0.045, 0.01, true, "192000"},
  };
  for (const Kind& k : kinds) {
    for (unsigned seed = 1; seed <= 3; ++seed) {
      Samples mpx = SynthesizeMpx(Bits(), 8 * 171000 / k.rate_hz,
                                  {.rate_hz = k.rate_hz,
                                   .pilot = k.programme,
                                   .audio = k.programme,
                                   .stereo = k.programme,
                                   .rds_level = k.rds_level,
                                   .noise_rms = k.noise_rms,
                                   .seed = seed});
      if (k.fm) mpx = receiver::testing::ThroughFmChain(mpx, {.carrier = false, .seed = seed});
      const Result r = Monitor(mpx, {"--rate", k.rate});
      EXPECT_EQ(r.status, 3) << k.what << ' ' << seed << '\n' << r.err;
      EXPECT_EQ(r.out.find('='), std::string::npos) << k.what << ' ' << seed << '\n' << r.out;
    }
  }
}

// Near the FM threshold what is shown is the station's or nothing, and never a mismatch.
TEST(MonitorCommand, ShowsNoFalseValueOnAWeakSignal) {
  const std::string station =
      "PI=FFFF\nPS=ON AIR 7\nPTY=0\nTP=1\nTA=0\nMS=1\nDI=Stereo, Comp.\nAF=87.6 98.5 107.9\n";
  for (const unsigned cn_db : {11, 12, 13, 14}) {
    const Samples mpx = SynthesizeMpx(Bits(), 20, {.seed = cn_db});
    const Result r = Monitor(receiver::testing::ThroughFmChain(mpx, {.cn_db = 1.0 * cn_db}), {});
    EXPECT_NE(r.status, 1) << cn_db << " dB\n" << r.err;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
      std::string shown = line.substr(line.find(' ') + 1);
      shown = shown.substr(0, shown.find(" (")) + '\n';  // without the program type's name
      EXPECT_TRUE(shown.find('=') == std::string::npos || station.find(shown) != std::string::npos)
          << cn_db << " dB: " << line;
    }
  }
}

TEST(MonitorCommand, TimeoutAndErrorsOfTheirOwn) {
  // --timeout counts a file's own time: the station after it does not count.
  Samples late = SynthesizeMpx(Bits(), 25, {.rds_level = 0});
  const Samples on_air = SynthesizeMpx(Bits(), 5, {});
  late.insert(late.end(), on_air.begin(), on_air.end());
  EXPECT_EQ(Monitor(late, {"--timeout", "20"}).status, 3);
  EXPECT_EQ(Monitor(late, {"--timeout", "30"}).status, 0);
  // A WAV file at another rate than --rate: wrong usage, naming both.
  const auto wav = std::filesystem::temp_directory_path() / "rdsq7-monitor-test.wav";
  receiver::testing::WriteWav16(wav, Samples(1000), 192000);
  Result r = testing::RunCli({"monitor", "--input", wav.string(), "--rate", "171000"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("192000 Hz, not the 171000 Hz"), std::string::npos) << r.err;
  // A command that cannot start: its status, not "no RDS".
  r = testing::RunCli({"monitor", "--command", "rdsq7-no-such-command", "--pi", "D3C2"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("exited with status"), std::string::npos) << r.err;

  // PS characters 7 and 8 never arrive (a 3-bit burst in block 4 of the last group): the
  // other fields confirm, PS is too weak to say (exit 4), and JSON leaves out that group.
  auto bits = Bits();
  for (const std::size_t bit : {81, 83}) bits[3 * 104 + bit] ^= 1;
  const Samples samples = SynthesizeMpx(bits, 5, {});
  r = Monitor(samples, {});
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("PS not received"), std::string::npos) << r.err;
  r = Monitor(samples, {"--format", "json"});
  EXPECT_LT(std::count(r.out.begin(), r.out.end(), '\n'), 45) << r.out;  // 3/4 of 57 groups
}

using testing::RunCli;

// 2 s of a station with its RDS at 1.5 kHz, as rtl_fm writes it at 171 kHz, in a WAV file.
class MonitorLevels : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    rds::StationSettings s;
    s.ps = "LEVELS";
    s.pi = "D3C2";  // not a default PI, which is warned of
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

  const Result expect = Monitor({"--ps", "LEVELS", "--pi", "D3C2", "--tp", "1", "--pty", "0"});
  EXPECT_EQ(expect.status, 0) << expect.err;
  EXPECT_TRUE(std::regex_search(
      expect.err, std::regex("^rdsq7-cli: warning: level outside its limits: " + low + "$")))
      << expect.err;
  const Result lower = Monitor({"--ps", "LEVELS", "--pi", "D3C2", "--rds-injection-min", "1.4"});
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

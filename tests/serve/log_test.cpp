// serve's log file over a year unattended, and the monitor command's restarts and silence.
#include "serve/log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "serve/monitor_health.h"

namespace serve {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Text(const fs::path& file) {
  std::stringstream text;
  text << std::ifstream(file, std::ios::binary).rdbuf();
  return text.str();
}

// Each line is 50 bytes: the time stamp (24 and a blank), 24 more and the line break.
TEST(ServeLog, ALineThatWouldPassTheLimitGoesToANewFileAndTheOldOneIsFile1) {
  const fs::path folder = fs::path(::testing::TempDir()) / "rdsq7_log_test";
  fs::remove_all(folder);
  fs::create_directories(folder);
  std::ofstream(folder / "serve.log", std::ios::binary) << std::string(49, 'x') << '\n';
  std::ofstream(folder / "serve.log.1") << "the rotation before\n";
  {
    ServeLog log(folder / "serve.log", 100);
    log.Line("fills the file to 100 ..");
    log.Line("rotates it then ........");
  }
  const std::string old = Text(folder / "serve.log.1"), now = Text(folder / "serve.log");
  EXPECT_EQ(old.size(), 100U) << old;
  EXPECT_NE(old.find(" fills the file"), std::string::npos) << old;
  EXPECT_EQ(now.size(), 50U) << now;
  EXPECT_NE(now.find(" rotates it then"), std::string::npos) << now;
  fs::remove_all(folder);
}

// A command that keeps ending, on a scripted clock: it runs for `ran` each time.
TEST(RestartPauses, DoubleFromTwoSecondsToFiveMinutesAndStartOverAfterAMinuteOfRunning) {
  RestartPauses pauses;
  struct Case {
    std::chrono::milliseconds ran;
    std::chrono::seconds pause;
    std::size_t ends;
    bool logged;
  };
  const std::vector<Case> cases = {
      {0ms, 2s, 1, true},      {1000ms, 4s, 2, true}, {0ms, 8s, 3, true},
      {59999ms, 16s, 4, true},  // a minute less a millisecond is no good run
      {0ms, 32s, 5, true},     {0ms, 64s, 6, true},   {0ms, 128s, 7, true},
      {0ms, 256s, 8, true},    {0ms, 300s, 9, true},  {0ms, 300s, 10, false},
      {60000ms, 2s, 1, true},  // a good run
      {0ms, 4s, 2, true},
  };
  for (const Case& c : cases) {
    const RestartPauses::Restart restart = pauses.Ended(c.ran);
    EXPECT_EQ(restart.pause, c.pause) << c.ends;
    EXPECT_EQ(restart.ends, c.ends);
    EXPECT_EQ(restart.log, c.logged) << c.ends;
  }
}

TEST(SampleWatch, TenSecondsWithoutSamplesIsSilenceToldOnceAndSoIsTheirReturn) {
  SampleWatch watch;
  const std::chrono::steady_clock::time_point t{100s};
  using Change = SampleWatch::Change;
  EXPECT_EQ(watch.Check(t, t + 9999ms), Change::kNone);
  EXPECT_EQ(watch.Check(t, t + 10s), Change::kSilent);
  EXPECT_EQ(watch.Check(t, t + 60s), Change::kNone);
  EXPECT_TRUE(watch.Silent());
  EXPECT_EQ(watch.Check(t + 60s, t + 60s), Change::kBack);
  EXPECT_EQ(watch.Check(t + 60s, t + 61s), Change::kNone);
  EXPECT_FALSE(watch.Silent());
}

}  // namespace
}  // namespace serve

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
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class LogFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::path(::testing::TempDir()) / "rdsq7_log_test";
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    file_ = folder_ / "serve.log";
  }
  void TearDown() override { fs::remove_all(folder_); }
  fs::path folder_;
  fs::path file_;
};

// Each line is 50 bytes: the time stamp (24 and a blank), 24 more and the line break.
TEST_F(LogFileTest, ALineThatWouldPassTheLimitGoesToANewFileAndTheOldOneIsFile1) {
  std::ofstream(file_, std::ios::binary) << std::string(49, 'x') << '\n';  // an earlier run's
  std::ofstream(folder_ / "serve.log.1") << "the rotation before\n";
  {
    ServeLog log(file_, 100);
    log.Line("fills the file to 100 ..");
    log.Line("rotates it then ........");
  }
  const std::string old = Text(folder_ / "serve.log.1");
  EXPECT_EQ(old.size(), 100U) << old;
  EXPECT_NE(old.find(" fills the file"), std::string::npos) << old;
  const std::string now = Text(file_);
  EXPECT_EQ(now.size(), 50U) << now;
  EXPECT_NE(now.find(" rotates it then"), std::string::npos) << now;
}

#if !defined(_WIN32)  // Windows renames no open file: there the size limit rotates the log
TEST_F(LogFileTest, AReopenAfterARenameWritesTheLinesAfterItToANewFile) {
  {
    ServeLog log(file_, 0);
    log.Line("before");
    fs::rename(file_, folder_ / "serve.log.1");
    log.Reopen();
    log.Line("after");
  }
  const std::string old = Text(folder_ / "serve.log.1");
  EXPECT_NE(old.find(" before\n"), std::string::npos) << old;
  EXPECT_EQ(old.find("after"), std::string::npos) << old;
  const std::string now = Text(file_);
  EXPECT_NE(now.find(" log file reopened\n"), std::string::npos) << now;
  EXPECT_NE(now.find(" after\n"), std::string::npos) << now;
}
#endif

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
      {0ms, 2s, 1, true},       {1000ms, 4s, 2, true},   {0ms, 8s, 3, true},
      {59999ms, 16s, 4, true},  // a minute less a millisecond is no good run
      {0ms, 32s, 5, true},      {0ms, 64s, 6, true},     {0ms, 128s, 7, true},
      {0ms, 256s, 8, true},     {0ms, 300s, 9, true},    {0ms, 300s, 10, false},
      {0ms, 300s, 11, false},   {60000ms, 2s, 1, true},  // a good run
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
  struct Case {
    std::chrono::milliseconds last, now;
    Change change;
  };
  const std::vector<Case> cases = {
      {0ms, 9999ms, Change::kNone},     {0ms, 10000ms, Change::kSilent},
      {0ms, 60000ms, Change::kNone},    {60000ms, 60000ms, Change::kBack},
      {60000ms, 61000ms, Change::kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(watch.Check(t + c.last, t + c.now), c.change) << c.now.count();
    EXPECT_EQ(watch.Silent(), c.now - c.last >= kMonitorSilence);
  }
}

}  // namespace
}  // namespace serve

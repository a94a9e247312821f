#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "appcore/file_folders.h"
#include "appcore/monitor_setting.h"
#include "appcore/settings_file.h"
#include "cli/cli.h"
#include "cmdline/arguments.h"
#include "cmdline/field_options.h"
#include "cmdline/quote.h"
#include "cmdline/usage_error.h"
#include "tests/cli/run_cli.h"
#include "tests/time_bound.h"

#ifndef _WIN32
#include <stdlib.h>
#include <sys/stat.h>
#endif

namespace cli {
namespace {

namespace fs = std::filesystem;

using testing::Result;
using testing::RunCli;

class SettingsOption : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::path(::testing::TempDir()) / "rdsq7_cli_settings" /
              ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    file_ = app::SettingsFilePath(folder_).string();
  }
  void TearDown() override { fs::remove_all(folder_); }

  void Save(const app::SettingsValues& v) { app::SaveSettingsFile(file_, v); }

  fs::path folder_;
  std::string file_;
};

app::SettingsValues Station() {
  app::SettingsValues v;
  v.station.ps = "ABCDEFGH";
  v.station.pi = "2A07";
  v.station.pty = 10;
  v.station.ta = 1;
  v.station.di = {true, false, false, false};
  // A German window's comma is read; mistyped letters are dropped, never read as "0".
  v.station.af = {"87.6", "9S.5", "98,5", "1O1.2", "107.9"};
  v.system.port_index = 3;
  return v;
}

const std::vector<std::string> kSameAsStation = {
    "encode", "--ps", "ABCDEFGH", "--pi", "2A07", "--pty", "10",   "--ta", "1",
    "--di",   "0001", "--af",     "87.6", "--af", "98.5",  "--af", "107.9"};

TEST_F(SettingsOption, EncodesTheFileAsTheProgramLoadsIt) {
  Save(Station());
  const Result from_file = RunCli({"encode", "--settings", file_});
  EXPECT_EQ(from_file.status, 0) << from_file.err;
  EXPECT_EQ(from_file.out, RunCli(kSameAsStation).out);
  EXPECT_EQ(from_file.out.substr(0, 4), "2A07");
}

TEST_F(SettingsOption, FieldOptionsWinOverTheFileWhereverTheyStand) {
  Save(Station());
  std::vector<std::string> expected = kSameAsStation;
  expected[2] = "OTHER";
  expected[10] = "0000";
  const std::string want = RunCli(expected).out;
  EXPECT_EQ(RunCli({"encode", "--settings", file_, "--ps", "OTHER", "--di", "0000"}).out, want);
  EXPECT_EQ(RunCli({"encode", "--ps", "OTHER", "--di", "0000", "--settings=" + file_}).out, want);
}

// Anything but a regular file of a sane size is refused unread and at once: a FIFO would
// block the open, a device like /dev/zero would be read until memory runs out.
TEST_F(SettingsOption, AMissingOrUnreadableFileIsAnErrorWithStatusOne) {
  const std::string not_regular =
      "rdsq7-cli: error: Cannot open file tolvex.dat (not a regular file)\n";
  struct Case {
    std::string name;
    std::function<void()> make;
    std::string err;
  };
  const std::vector<Case> cases = {
      {"missing", [] {},
       "rdsq7-cli: error: option --settings: no such file " + cmdline::QuotePath(file_) + "\n"},
      {"folder", [&] { fs::create_directory(file_); }, not_regular},
      {"too large",
       [&] { std::ofstream(file_, std::ios::binary) << std::string(64 * 1024 + 1, '\n'); },
       "rdsq7-cli: error: Cannot open file tolvex.dat (larger than 65536 bytes)\n"},
      {"no settings file",
       [&] {
         std::ofstream(file_, std::ios::binary) << app::FormatSettingsText(Station()) << "x\n";
       },
       "rdsq7-cli: error: option --settings: " + cmdline::QuotePath(file_) +
           " is not a station settings file: it has 32 lines, not 31\n"},
#ifndef _WIN32
      {"FIFO", [&] { ASSERT_EQ(mkfifo(file_.c_str(), 0600), 0); }, not_regular},
      {"device", [&] { fs::create_symlink("/dev/zero", file_); }, not_regular},
#endif
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(file_);
    c.make();
    Result r;
    test_support::RunWithin(std::chrono::seconds(20), "--settings " + c.name, [&] {
      r = RunCli({"encode", "--settings", file_});
    });
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, c.err);
  }
  // A path is shown as typed; a quote and what cannot be in a path are still escaped.
#ifdef _WIN32
  const std::string typed = "C:\\nope\\it's.dat", shown = "'C:\\nope\\it\\'s.dat'";
#else
  const std::string typed = "/nope/a\\b\n.dat", shown = "'/nope/a\\\\b\\n.dat'";
#endif
  EXPECT_EQ(RunCli({"encode", "--settings", typed}).err,
            "rdsq7-cli: error: option --settings: no such file " + shown + "\n");
}

// monitor --save-command keeps the window's monitor in the user's folder; "" removes it.
TEST_F(SettingsOption, MonitorSaveCommandKeepsTheCommandUntilAnEmptyOneClearsIt) {
#ifdef _WIN32
  const char* variable = "APPDATA";
#else
  const char* variable = "XDG_CONFIG_HOME";
#endif
  const std::optional<fs::path> before = app::SystemEnvironment()(variable);
  const auto set = [variable](const std::string& value) {
#ifdef _WIN32
    _putenv_s(variable, value.c_str());
#else
    value.empty() ? ::unsetenv(variable) : ::setenv(variable, value.c_str(), 1);
#endif
  };
  set(folder_.string());
  const fs::path file = *app::MonitorCommandFile(app::SystemEnvironment());
  const Result saved = RunCli({"monitor", "--save-command", "rtl_fm -f 98.5M"});
  EXPECT_EQ(saved.status, 0) << saved.err;
  EXPECT_EQ(app::ReadMonitorCommand(file), "rtl_fm -f 98.5M");
  const Result cleared = RunCli({"monitor", "--save-command", ""});
  EXPECT_EQ(cleared.status, 0) << cleared.err;
  EXPECT_EQ(cleared.out.rfind("removed ", 0), 0U) << cleared.out;
  EXPECT_FALSE(fs::exists(file));
  set(before ? before->string() : "");
}

TEST_F(SettingsOption, BadUsageHasStatusTwo) {
  Save(Station());
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"encode", "--settings"}, {"encode", "--settings", file_, "--settings", file_}}) {
    const Result r = RunCli(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("rdsq7-cli: error: option --settings", 0), 0U) << r.err;
  }
}

// Options that change the window's initial values, as serve keeps and saves them before any
// send has corrected them.
TEST(FieldOptions, EachOptionSetsItsFieldAndAnAfIsKeptWithAPoint) {
  const auto parse = [](std::vector<std::string> list) {
    cmdline::FieldOptions options;
    cmdline::Arguments args(std::move(list));
    while (!args.AtEnd()) EXPECT_TRUE(options.Parse(args.NextOption(), args));
    return options.ApplyTo(rds::StationSettings{});
  };
  const rds::StationSettings s =
      parse({"--tp", "0", "--ms", "0", "--af", "98,5", "--af", "87.6", "--af", "88", "--af", "90.1",
             "--af", "100", "--af", "104.9", "--af", "107.9"});
  EXPECT_EQ(s.tp, 0);
  EXPECT_EQ(s.ms, 0);
  // Each list up to its last entry.
  const rds::StationSettings last = parse({"--pty", "31", "--ta", "1", "--tp", "1", "--ms", "1"});
  EXPECT_EQ(last.pty, 31);
  EXPECT_EQ(last.ta, 1);
  EXPECT_EQ(last.tp, 1);
  EXPECT_EQ(last.ms, 1);
  // All seven, in the order given; an eighth has no place.
  EXPECT_EQ(s.af, (rds::AfTexts{"98.5", "87.6", "88", "90.1", "100", "104.9", "107.9"}));
  std::vector<std::string> eight;
  for (int i = 0; i < 8; ++i) eight.insert(eight.end(), {"--af", "98.5"});
  EXPECT_THROW(parse(eight), cmdline::UsageError);
}

}  // namespace
}  // namespace cli

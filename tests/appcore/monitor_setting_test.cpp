#include "appcore/monitor_setting.h"

#include <gtest/gtest.h>

#include <fstream>

namespace app {
namespace {

// The saved command is its first line, whatever line end an editor gave it, without the
// blanks after it; a file with nothing in it holds no command.
TEST(MonitorCommandFile, ReadsTheFirstLineWithoutItsEndOrTrailingBlanks) {
  const std::filesystem::path file =
      std::filesystem::path(::testing::TempDir()) / "rdsq7-monitor-command.txt";
  struct Case {
    std::string bytes;
    std::optional<std::string> command;
  };
  const Case cases[] = {
      {"rtl_fm -f 98.5M\n", "rtl_fm -f 98.5M"},
      {"rtl_fm -f 98.5M\r\n", "rtl_fm -f 98.5M"},
      {"rtl_fm -f 98.5M\r", "rtl_fm -f 98.5M"},
      {"rtl_fm -f 98.5M \t\r\nsecond line\n", "rtl_fm -f 98.5M"},
      {"rtl_fm", "rtl_fm"},
      {"", std::nullopt},
      {" \t\r\n", std::nullopt},
      {"\nrtl_fm\n", std::nullopt},
  };
  for (const Case& c : cases) {
    std::ofstream(file, std::ios::binary) << c.bytes;
    EXPECT_EQ(ReadMonitorCommand(file), c.command) << c.bytes;
  }
  // Up to 4 KiB is a command; more is no file of this program's.
  std::ofstream(file, std::ios::binary) << std::string(4095, 'x') << '\n';
  EXPECT_EQ(ReadMonitorCommand(file), std::string(4095, 'x'));
  std::ofstream(file, std::ios::binary) << std::string(4097, 'x');
  EXPECT_THROW(ReadMonitorCommand(file), std::runtime_error);
  EXPECT_THROW(SaveMonitorCommand(file, "a\nb"), std::runtime_error);  // one line only
  std::filesystem::remove(file);
  EXPECT_EQ(ReadMonitorCommand(file), std::nullopt);
}

}  // namespace
}  // namespace app

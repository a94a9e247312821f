#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/port_list.h"
#include "tests/cli/run_cli.h"

namespace cli {
namespace {

using testing::Result;
using testing::RunCli;

TEST(PortList, PortsOfOneKindInNumberOrder) {
  struct Case {
    const char* prefix;
    std::vector<std::string> names;
    std::vector<std::string> ports;
  };
  const std::vector<Case> cases = {
      {"COM", {"COM10", "LPT1", "COM2", "C:", "NUL", "COM1"}, {"COM1", "COM2", "COM10"}},
      {"LPT", {"COM10", "LPT1", "LPT3", "GLOBALROOT"}, {"LPT1", "LPT3"}},
      {"COM", {"com3", "COM3"}, {"COM3"}},
      {"COM", {"COM", "COMX", "COM1X", "COM01", "COM1000", "XCOM1", "COM-1"}, {}},
      {"COM", {"COM256", "COM9"}, {"COM9", "COM256"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.names.front());
    EXPECT_EQ(PortNames(c.names, c.prefix), c.ports);
  }
}

#ifdef _WIN32
TEST(PortsCommand, ListsWhatTheSystemHasAndPointsToDeviceManager) {
  const Result r = RunCli({"ports"});
  EXPECT_EQ(r.status, 0) << r.err;
  const auto serial = r.out.find("Serial ports:\n"), parallel = r.out.find("Parallel ports:\n");
  ASSERT_NE(serial, std::string::npos) << r.out;
  ASSERT_NE(parallel, std::string::npos) << r.out;
  EXPECT_LT(serial, parallel);
  EXPECT_NE(r.out.find("COM Port Number"), std::string::npos) << r.out;
  const Result change = RunCli({"ports", "--com1", "COM7"});
  EXPECT_EQ(change.status, 1);
  EXPECT_NE(change.err.find("Device Manager"), std::string::npos) << change.err;
}
#endif

}  // namespace
}  // namespace cli

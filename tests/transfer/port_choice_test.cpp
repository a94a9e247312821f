#include "transfer/port_choice.h"

#include <gtest/gtest.h>

#include "tests/transfer/fake_comm.h"

namespace transfer {
namespace {

// The window's side: selecting another index runs the handler again, as a click would.
struct FakeWindow : PortChoiceView {
  PortChoice* choice = nullptr;
  int index = 0;
  std::vector<std::string> log;

  void ShowWarning(const std::string& text, const std::string& caption) override {
    log.push_back(caption + ": " + text);
  }
  void ShowSystemTab() override { log.push_back("System tab"); }
  void SetPortIndex(int new_index) override {
    log.push_back("select " + std::to_string(new_index));
    if (new_index == index) return;
    Click(new_index);
  }
  void Click(int new_index) {
    index = new_index;
    choice->PORTClick(new_index);
  }
};

struct Fixture {
  FakeComm comm;
  FakeWindow window;
  PortChoice choice{comm, window};
  Fixture() { window.choice = &choice; }
};

TEST(PortChoice, PortSettingPerIndex) {
  Fixture f;
  f.comm.existing_ports = {1, 2};
  EXPECT_EQ(f.choice.PortSetting(), 888);
  const std::vector<std::pair<int, int>> table = {{1, 632}, {2, 1}, {3, 2}, {0, 888}};
  for (auto [index, setting] : table) {
    f.window.Click(index);
    EXPECT_EQ(f.choice.PortSetting(), setting) << "index " << index;
  }
  EXPECT_TRUE(IsSerialSetting(1) && IsSerialSetting(2));
  EXPECT_FALSE(IsSerialSetting(632) || IsSerialSetting(888));
}

TEST(PortChoice, EachSerialChoiceClosesThePortThatIsOpen) {
  Fixture f;
  f.comm.existing_ports = {1, 2};
  f.window.Click(2);
  f.window.Click(3);
  f.window.Click(2);
  EXPECT_EQ(f.comm.log, (std::vector<std::string>{"close", "open COM1", "close", "open COM2",
                                                  "close", "open COM1"}));
  EXPECT_EQ(f.comm.max_open, 1);
  EXPECT_TRUE(f.comm.Active());
  EXPECT_TRUE(f.window.log.empty());
}

TEST(PortChoice, ParallelChoiceLeavesTheSerialPortOpen) {
  Fixture f;
  f.window.Click(2);
  f.window.Click(1);
  EXPECT_TRUE(f.comm.Active());
  EXPECT_EQ(f.choice.PortSetting(), 632);
  EXPECT_EQ(f.comm.log.size(), 2U);
}

TEST(PortChoice, MissingSerialPortWarnsAndFallsBackToLpt1) {
  Fixture f;
  f.window.Click(3);  // only COM1 exists
  EXPECT_EQ(f.window.log, (std::vector<std::string>{"Warning: Can't open specified port (COM2).",
                                                    "System tab", "select 0"}));
  EXPECT_EQ(f.window.index, 0);
  EXPECT_EQ(f.choice.PortSetting(), 888);
  EXPECT_FALSE(f.comm.Active());
}

TEST(PortChoice, FailureAfterAnOpenPortLeavesNoneOpen) {
  Fixture f;
  f.window.Click(2);
  f.window.Click(3);
  EXPECT_FALSE(f.comm.Active());
  EXPECT_EQ(f.choice.PortSetting(), 888);
}

TEST(ChooseLineDriver, SerialSettingDrivesTheOpenPort) {
  Fixture f;
  f.window.Click(2);
  PortDriver unused(MakePlatformPortSystem());
  auto driver = ChooseLineDriver(f.choice.PortSetting(), unused, f.comm);
  driver->ClockHigh(1);
  EXPECT_EQ(f.comm.log.back(), "RTS+");
}

TEST(ChooseLineDriver, ClosedSerialPortIsAnErrorNotASilentSend) {
  FakeComm comm;
  PortDriver unused(MakePlatformPortSystem());
  EXPECT_THROW(ChooseLineDriver(1, unused, comm), EVaCommError);
}

}  // namespace
}  // namespace transfer

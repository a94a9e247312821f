#include "transfer/zlportio.h"

#include <gtest/gtest.h>

#include <vector>

namespace transfer {
namespace {

// Records every call; answers as a system with or without the kernel driver.
struct FakePortSystem : PortSystem {
  bool needs_driver = true;
  bool device_present = false;  // the driver's service runs and its device exists
  bool held_elsewhere = false;  // another process has the (exclusive) device open
  bool driver_file_present = false;
  bool grants_direct = true;
  std::string folder = "C:\\Program Files\\Encoder\\";
  std::vector<std::string> calls;
  std::vector<std::vector<std::uint8_t>> requests;
  std::vector<std::string> outs;

  bool NeedsPortDriver() override { return needs_driver; }
  std::string ExecutableFolder() override { return folder; }
  std::uint32_t OpenDevice() override {
    calls.push_back("open");
    if (!device_present) return 2;
    return held_elsewhere ? 5 : 0;
  }
  std::uint32_t CreatePortService(const std::string& path, const std::string& name) override {
    calls.push_back("create " + name + " " + path);
    return 0;
  }
  std::uint32_t StartPortService(const std::string& name) override {
    calls.push_back("start " + name);
    if (!driver_file_present) return 2;
    device_present = true;
    return 0;
  }
  std::uint32_t StopPortService(const std::string& name) override {
    calls.push_back("stop " + name);
    device_present = false;
    return 0;
  }
  std::uint32_t DeletePortService(const std::string& name) override {
    calls.push_back("delete " + name);
    return 0;
  }
  bool PortServiceRunning(const std::string&) override { return device_present; }
  bool DeviceControl(std::uint32_t code, std::span<const std::uint8_t> input) override {
    char text[16];
    std::snprintf(text, sizeof text, "ioctl %08X", code);
    calls.push_back(text);
    if (code == kWritePortCode) requests.emplace_back(input.begin(), input.end());
    return code != kEnableDirectCode || grants_direct;
  }
  void PortOut(std::uint16_t port, std::uint32_t width, std::uint32_t value) override {
    char text[32];
    std::snprintf(text, sizeof text, "%X/%u=%X", port, width, value);
    outs.push_back(text);
  }
  bool PortReachable(std::uint16_t, bool direct) override { return direct || device_present; }
  std::string PortAccessHint(std::uint16_t) override { return "Check the driver."; }
  std::shared_ptr<void> HoldPort(std::uint16_t, bool) override { return nullptr; }
};

struct Driver {
  FakePortSystem* os;
  PortDriver driver;
  explicit Driver(std::unique_ptr<FakePortSystem> fake) : os(fake.get()), driver(std::move(fake)) {}
};

Driver MakeDriver(auto configure) {
  auto fake = std::make_unique<FakePortSystem>();
  configure(*fake);
  return Driver(std::move(fake));
}

TEST(PortDriverFormat, ControlCodesFollowTheCtlCodeRule) {
  EXPECT_EQ(ddkint::CtlCode(0x22, 0x800, ddkint::kMethodBuffered, ddkint::kFileAnyAccess),
            0x222000U);
  EXPECT_EQ(ddkint::CtlCode(0x80FF, 1, 2, 3), 0x80FFC006U);
  EXPECT_EQ(PortControlCode(1), 0x80FF0004U);
  EXPECT_EQ(PortControlCode(2), 0x80FF0008U);
  EXPECT_EQ(PortControlCode(3), 0x80FF000CU);
  EXPECT_EQ(PortControlCode(4), 0x80FF0010U);
}

TEST(PortDriverFormat, WriteRequestIsTwelveLittleEndianBytes) {
  const PortWriteRequest request = MakePortWriteRequest(0x278, kWidthByte, 0x18);
  EXPECT_EQ(request, (PortWriteRequest{0x78, 0x02, 0, 0, 0, 0, 0, 0, 0x18, 0, 0, 0}));
  const PortWriteRequest wide = MakePortWriteRequest(0x12345678, kWidthDword, 0xA1B2C3D4);
  const PortWrite back = ReadPortWriteRequest(wide);
  EXPECT_EQ(back.port, 0x12345678U);
  EXPECT_EQ(back.width_code, kWidthDword);
  EXPECT_EQ(back.value, 0xA1B2C3D4U);
}

TEST(PortDriver, WithoutNeedOfADriverWritesGoStraightToThePort) {
  Driver d = MakeDriver([](FakePortSystem& os) { os.needs_driver = false; });
  d.driver.StartPortAccess();
  EXPECT_TRUE(d.driver.DriverOpen());
  EXPECT_TRUE(d.driver.DirectAccess());
  d.driver.SetDirectPortAccess(true);
  d.driver.WritePortByte(0x378, 0x18);
  d.driver.EndPortAccess();
  EXPECT_TRUE(d.os->calls.empty());  // no service and no device
  EXPECT_EQ(d.os->outs, std::vector<std::string>{"378/0=18"});
}

TEST(PortDriver, RunningDriverIsOpenedWithoutInstallingAndLeftToItsOwner) {
  Driver d = MakeDriver([](FakePortSystem& os) { os.device_present = true; });
  d.driver.StartPortAccess();
  EXPECT_TRUE(d.driver.DriverOpen());
  EXPECT_FALSE(d.driver.DirectAccess());
  EXPECT_EQ(d.os->calls, std::vector<std::string>{"open"});

  // Before the grant, writes are requests to the device.
  d.driver.WritePortByte(0x278, 0x18);
  ASSERT_EQ(d.os->requests.size(), 1U);
  EXPECT_EQ(d.os->requests[0],
            (std::vector<std::uint8_t>{0x78, 0x02, 0, 0, 0, 0, 0, 0, 0x18, 0, 0, 0}));

  d.driver.SetDirectPortAccess(true);
  EXPECT_TRUE(d.driver.DirectAccess());
  d.driver.WritePortByte(0x378, 0x10);
  d.driver.WritePort(0x378, kWidthWord, 0x12345);
  d.driver.WritePort(0x10378, kWidthDword, 0x12345);
  d.driver.WritePort(0x378, 3, 0x55);  // not a width: nothing written
  EXPECT_EQ(d.os->outs, (std::vector<std::string>{"378/0=10", "378/1=12345", "378/2=12345"}));
  EXPECT_EQ(d.os->requests.size(), 1U);

  // The process that started the service (the window, say) still uses it.
  d.os->calls.clear();
  d.driver.EndPortAccess();
  EXPECT_TRUE(d.os->calls.empty());
}

TEST(PortDriver, StoppedDriverIsReinstalledFromTheFileBesideTheProgramAndRemovedAtExit) {
  Driver d = MakeDriver([](FakePortSystem& os) { os.driver_file_present = true; });
  d.driver.StartPortAccess();
  EXPECT_TRUE(d.driver.DriverOpen());
  EXPECT_EQ(d.os->calls,
            (std::vector<std::string>{"open", "stop zlportio", "delete zlportio",
                                      "create zlportio C:\\Program Files\\Encoder\\zlportio.sys",
                                      "start zlportio", "open"}));
  d.os->calls.clear();
  d.driver.EndPortAccess();
  d.driver.EndPortAccess();  // once only
  EXPECT_EQ(d.os->calls, (std::vector<std::string>{"stop zlportio", "delete zlportio"}));
}

TEST(PortDriver, DeviceHeldByAnotherProcessLeavesItsRunningServiceAlone) {
  Driver d = MakeDriver([](FakePortSystem& os) {
    os.device_present = true;
    os.held_elsewhere = true;
    os.driver_file_present = true;
  });
  d.driver.StartPortAccess();
  EXPECT_FALSE(d.driver.DriverOpen());
  EXPECT_FALSE(d.driver.InstallPortDriver());
  d.driver.EndPortAccess();
  EXPECT_EQ(d.os->calls, std::vector<std::string>{"open"});  // no stop, delete, create, start
}

TEST(PortDriver, MissingDriverFileLeavesBothFlagsFalseAndDropsWrites) {
  Driver d = MakeDriver([](FakePortSystem&) {});
  d.driver.StartPortAccess();
  EXPECT_FALSE(d.driver.DriverOpen());
  EXPECT_FALSE(d.driver.DirectAccess());
  EXPECT_EQ(d.os->calls.back(), "start zlportio");  // not opened a second time

  d.os->calls.clear();
  d.driver.SetDirectPortAccess(true);  // no device: nothing asked, nothing granted
  EXPECT_FALSE(d.driver.DirectAccess());
  d.driver.WritePortByte(0x378, 0x18);
  d.driver.EndPortAccess();  // nothing to remove
  EXPECT_TRUE(d.os->calls.empty());
  EXPECT_TRUE(d.os->outs.empty());
  EXPECT_FALSE(d.driver.CanWritePort(0x378));
}

TEST(PortDriver, RefusedDirectAccessKeepsWritingThroughTheDevice) {
  Driver d = MakeDriver([](FakePortSystem& os) {
    os.device_present = true;
    os.grants_direct = false;
  });
  d.driver.StartPortAccess();
  d.driver.SetDirectPortAccess(true);
  EXPECT_FALSE(d.driver.DirectAccess());
  d.driver.WritePortByte(0x378, 0x08);
  EXPECT_EQ(d.os->requests.size(), 1U);
  EXPECT_TRUE(d.os->outs.empty());
  EXPECT_TRUE(d.driver.CanWritePort(0x378));
}

std::string Repeat(const std::string& text, std::size_t times) {
  std::string repeated;
  for (std::size_t i = 0; i < times; ++i) repeated += text;
  return repeated;
}

TEST(PortDriver, DriverPathIsCutTo255Characters) {
  struct Case {
    std::string folder;
    std::string path;
  };
  // Two- and three-byte characters: a cut at 255 bytes would split one of them.
  const Case cases[] = {
      {"D:\\Encoder", "D:\\Encoder\\zlportio.sys"},
      {"C:\\Программы\\编码器\\", "C:\\Программы\\编码器\\zlportio.sys"},
      {"D:\\" + std::string(300, 'x'), "D:\\" + std::string(252, 'x')},
      {"D:\\" + Repeat("Ж", 300), "D:\\" + Repeat("Ж", 252)},
      {"D:\\x" + Repeat("编", 300), "D:\\x" + Repeat("编", 251)},
  };
  Driver d = MakeDriver([](FakePortSystem&) {});
  for (const Case& c : cases) {
    d.os->folder = c.folder;
    EXPECT_EQ(d.driver.DriverFilePath(), c.path) << c.folder;
  }
}

}  // namespace
}  // namespace transfer

#include "transfer/zlportio.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/transfer/fakes.h"

namespace transfer {
namespace {

using testing::FakePortSystem;

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
  Driver d = MakeDriver([](FakePortSystem& os) {
    os.driver_file = DriverFile::kSafe;
    os.folder = "C:\\PROGRA~1\\Encoder\\";
  });
  d.driver.StartPortAccess();
  EXPECT_TRUE(d.driver.DriverOpen());
  // The file is registered where it really lies, not by the way that led to it.
  EXPECT_EQ(
      d.os->calls,
      (std::vector<std::string>{
          "open", "stop zlportio", "delete zlportio", "check C:\\PROGRA~1\\Encoder\\zlportio.sys",
          "create zlportio C:\\Program Files\\Encoder\\zlportio.sys", "start zlportio", "open"}));
  d.os->calls.clear();
  d.driver.EndPortAccess();
  d.driver.EndPortAccess();  // once only
  EXPECT_EQ(d.os->calls, (std::vector<std::string>{"stop zlportio", "delete zlportio"}));
}

TEST(PortDriver, DeviceHeldByAnotherProcessLeavesItsRunningServiceAlone) {
  Driver d = MakeDriver([](FakePortSystem& os) {
    os.device_present = true;
    os.held_elsewhere = true;
    os.driver_file = DriverFile::kSafe;
  });
  d.driver.StartPortAccess();
  EXPECT_FALSE(d.driver.DriverOpen());
  EXPECT_FALSE(d.driver.InstallPortDriver());
  d.driver.EndPortAccess();
  EXPECT_EQ(d.os->calls, std::vector<std::string>{"open"});  // no stop, delete, create, start
}

// A driver file that is missing, lies where users may write, or does not start: no service
// is registered from it or left behind (a leftover entry goes too), and nothing is written.
TEST(PortDriver, WithoutADriverThatStartsNoServiceStaysAndWritesAreDropped) {
  struct Case {
    DriverFile file;
    bool starts;
    std::string last_call;
    std::string hint;
  };
  const Case cases[] = {
      {DriverFile::kMissing, true, "check C:\\Program Files\\Encoder\\zlportio.sys",
       "Check the driver."},
      {DriverFile::kUnsafe, true, "check C:\\Program Files\\Encoder\\zlportio.sys",
       "The port driver file zlportio.sys is loaded only from a folder that only administrators "
       "can write: put it beside the installed program in Program Files."},
      {DriverFile::kSafe, false, "delete zlportio", "Check the driver."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.file));
    Driver d = MakeDriver([&c](FakePortSystem& os) {
      os.driver_file = c.file;
      os.driver_starts = c.starts;
      os.service_exists = true;  // left by an earlier run
    });
    d.driver.StartPortAccess();
    EXPECT_FALSE(d.driver.DriverOpen());
    EXPECT_FALSE(d.driver.DirectAccess());
    EXPECT_FALSE(d.os->service_exists);
    EXPECT_EQ(d.os->calls.back(), c.last_call);  // not opened a second time
    EXPECT_EQ(d.driver.DriverFileMissing(), c.file == DriverFile::kMissing);
    EXPECT_EQ(d.driver.PortAccessHint(0x378), c.hint);

    d.os->calls.clear();
    d.driver.SetDirectPortAccess(true);  // no device: nothing asked, nothing granted
    EXPECT_FALSE(d.driver.DirectAccess());
    d.driver.WritePortByte(0x378, 0x18);
    d.driver.EndPortAccess();  // nothing to remove
    EXPECT_TRUE(d.os->calls.empty());
    EXPECT_TRUE(d.os->outs.empty());
    EXPECT_FALSE(d.driver.CanWritePort(0x378));
  }
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

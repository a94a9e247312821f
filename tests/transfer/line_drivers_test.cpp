#include <gtest/gtest.h>

#include <vector>

#include "tests/transfer/fake_comm.h"
#include "transfer/parallel_line_driver.h"
#include "transfer/serial_line_driver.h"

namespace transfer {
namespace {

struct RecordingRegister : DataRegister {
  std::vector<std::uint8_t>* written;
  explicit RecordingRegister(std::vector<std::uint8_t>* out) : written(out) {}
  void Write(std::uint8_t value) override { written->push_back(value); }
};

// A port system with the device open that records the bytes it is asked to write.
struct RecordingPortSystem : PortSystem {
  bool reachable = true;
  DriverFile driver_file = DriverFile::kSafe;
  // Ports held for a send now.
  int holds = 0;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> writes;  // port, value
  bool NeedsPortDriver() override { return true; }
  std::string ExecutableFolder() override { return ""; }
  std::uint32_t OpenDevice() override { return reachable ? 0 : 2; }
  std::uint32_t CreatePortService(const std::string&, const std::string&) override { return 0; }
  std::uint32_t StartPortService(const std::string&) override { return 2; }
  std::uint32_t StopPortService(const std::string&) override { return 0; }
  std::uint32_t DeletePortService(const std::string&) override { return 0; }
  DriverFileCheck CheckDriverFile(const std::string&) override { return {driver_file, {}}; }
  bool PortServiceRunning(const std::string&) override { return reachable; }
  bool DeviceControl(std::uint32_t code, std::span<const std::uint8_t> input) override {
    if (code != kWritePortCode) return false;
    const PortWrite w = ReadPortWriteRequest(input);
    writes.emplace_back(w.port, w.value);
    return true;
  }
  void PortOut(std::uint16_t, std::uint32_t, std::uint32_t) override {}
  bool PortReachable(std::uint16_t, bool) override { return reachable; }
  std::string PortAccessHint(std::uint16_t) override {
    return "Check that the port driver is installed.";
  }
  std::shared_ptr<void> HoldPort(std::uint16_t, bool) override {
    ++holds;
    return std::shared_ptr<void>(nullptr, [this](void*) { --holds; });
  }
};

TEST(ParallelLineDriver, OneByteWithDataOnBit4AndClockOnBit3PerOperation) {
  std::vector<std::uint8_t> written;
  ParallelLineDriver driver(std::make_unique<RecordingRegister>(&written));
  driver.ResetLines();
  for (rds::BitCell bit : {0, 1, 0, 0}) {
    driver.ClockHigh(bit);
    driver.ClockLow(bit);
  }
  driver.ResetLines();
  EXPECT_EQ(written, (std::vector<std::uint8_t>{0x00, 0x08, 0x00, 0x18, 0x10, 0x08, 0x00, 0x08,
                                                0x00, 0x00}));
}

TEST(ParallelLineDriver, WritesThroughThePortDriverAtThePortAddress) {
  auto os = std::make_unique<RecordingPortSystem>();
  RecordingPortSystem* fake = os.get();
  PortDriver port_driver(std::move(os));
  port_driver.StartPortAccess();
  auto driver = MakeParallelLineDriver(port_driver, 0x278);
  driver->ClockHigh(1);
  driver->ClockLow(1);
  EXPECT_EQ(fake->writes,
            (std::vector<std::pair<std::uint32_t, std::uint32_t>>{{0x278, 0x18}, {0x278, 0x10}}));
  // The port is held for the send only: other programs may use it between sends.
  EXPECT_EQ(fake->holds, 1);
  driver.reset();
  EXPECT_EQ(fake->holds, 0);
}

TEST(ParallelLineDriver, UnreachablePortFailsBeforeAnyWrite) {
  auto os = std::make_unique<RecordingPortSystem>();
  os->reachable = false;
  RecordingPortSystem* fake = os.get();
  PortDriver port_driver(std::move(os));
  port_driver.StartPortAccess();
  port_driver.SetDirectPortAccess(true);
  try {
    MakeParallelLineDriver(port_driver, 0x378);
    FAIL() << "no error";
  } catch (const PortAccessError& e) {
    EXPECT_STREQ(e.what(),
                 "Can't access parallel port LPT1 (0x378). Check that the port driver is "
                 "installed.");
  }
  EXPECT_THROW(CheckParallelPortAccess(port_driver, 0x278), PortAccessError);
  EXPECT_TRUE(fake->writes.empty());
  // The driver file was there: no reason to think the PC lacks the port.
  try {
    CheckParallelPortAccess(port_driver, 0x278);
  } catch (const NoPortDriverError&) {
    ADD_FAILURE() << "taken for a missing driver file";
  } catch (const PortAccessError&) {
  }
  fake->driver_file = DriverFile::kMissing;
  port_driver.StartPortAccess();
  EXPECT_THROW(CheckParallelPortAccess(port_driver, 0x378), NoPortDriverError);
  EXPECT_EQ(ParallelPortName(0x278), "LPT2 (0x278)");
  EXPECT_EQ(ParallelPortName(0x3BC), "0x3BC");
}

TEST(SerialLineDriver, DtrCarriesDataAndRtsTheClockInCallOrder) {
  FakeComm comm;
  comm.Open();
  SerialLineDriver driver(comm);
  driver.ResetLines();
  driver.ClockHigh(1);
  driver.ClockLow(1);
  driver.ClockHigh(0);
  driver.ClockLow(0);
  EXPECT_EQ(comm.log, (std::vector<std::string>{"open COM1", "DTR-", "RTS-", "DTR+", "RTS+", "RTS-",
                                                "DTR-", "RTS+", "RTS-"}));
}

TEST(SerialLineDriver, LineErrorsReachTheCaller) {
  FakeComm comm;
  comm.Open();
  comm.fail_lines = true;
  SerialLineDriver driver(comm);
  EXPECT_THROW(driver.ClockHigh(1), EVaCommError);
}

}  // namespace
}  // namespace transfer

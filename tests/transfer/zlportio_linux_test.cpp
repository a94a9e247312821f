#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "transfer/parallel_line_driver.h"
#include "transfer/zlportio.h"

namespace transfer {
namespace {

// On a machine without a parallel port at 0x378 the port driver on the real system must
// refuse a send and say what to check.
TEST(LinuxPortDriver, NoParallelPortIsReportedBeforeAnyWrite) {
  if (FindParallelDevice(0x378)) GTEST_SKIP() << "this machine has a parallel port at 0x378";
  PortDriver driver(MakePlatformPortSystem());
  driver.StartPortAccess();
  driver.SetDirectPortAccess(true);  // granted to root only, and still no port there
  try {
    CheckParallelPortAccess(driver, 0x378);
    FAIL() << "no error";
  } catch (const PortAccessError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Can't access parallel port LPT1 (0x378). No /dev/parportN has the base address "
              "0x378: check that the parport_pc and ppdev modules are loaded (sudo modprobe "
              "parport_pc ppdev).");
  }
  driver.EndPortAccess();
}

TEST(ParallelDeviceLookup, FindsTheDeviceWhoseBaseAddressMatches) {
  namespace fs = std::filesystem;
  const fs::path root =
      fs::temp_directory_path() / ("rdsq7_parport_" + std::to_string(std::random_device{}()));
  fs::create_directories(root / "default");
  fs::create_directories(root / "parport0");
  fs::create_directories(root / "parport1");
  std::ofstream(root / "parport0" / "base-addr") << "632\t1912\n";
  std::ofstream(root / "parport1" / "base-addr") << "888\t1912\n";

  EXPECT_EQ(FindParallelDevice(0x378, root.string(), "/dev"), "/dev/parport1");
  EXPECT_EQ(FindParallelDevice(0x278, root.string(), "/dev"), "/dev/parport0");
  EXPECT_EQ(FindParallelDevice(0x3BC, root.string(), "/dev"), std::nullopt);
  EXPECT_EQ(FindParallelDevice(0x378, (root / "none").string(), "/dev"), std::nullopt);
  fs::remove_all(root);
}

}  // namespace
}  // namespace transfer

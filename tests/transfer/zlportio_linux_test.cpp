#include <gtest/gtest.h>

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

}  // namespace
}  // namespace transfer

#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <thread>

#include "transfer/parallel_line_driver.h"
#include "transfer/parport_claim.h"
#include "transfer/zlportio.h"

namespace transfer {
namespace {

// On a machine without a parallel port at 0x378 the port driver on the real system must
// refuse a send and say what to check.
TEST(LinuxPortDriver, NoParallelPortIsReportedBeforeAnyWrite) {
  if (FindParallelDevice(0x378)) {
    GTEST_SKIP() << "this machine has a parallel port at 0x378";
  }
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

TEST(LinuxPortDriver, PortThatTurnsUpAfterStartUpIsFoundAndClaimedForTheSend) {
  namespace fs = std::filesystem;
  const fs::path root =
      fs::temp_directory_path() / ("rdsq7_late_port_" + std::to_string(std::random_device{}()));
  fs::create_directories(root / "proc");
  fs::create_directories(root / "dev");
  PortDriver driver(MakeLinuxPortSystem((root / "proc").string(), (root / "dev").string()));
  driver.StartPortAccess();
  EXPECT_TRUE(driver.DriverOpen());  // no port yet, and nothing that fails for good
  EXPECT_FALSE(driver.CanWritePort(0x378));

  // The module is loaded later. A plain file opens as the device does but refuses the
  // claim's ioctl, which shows the claim is made for the send.
  fs::create_directories(root / "proc" / "parport0");
  std::ofstream(root / "proc" / "parport0" / "base-addr") << "888\t1912\n";
  std::ofstream(root / "dev" / "parport0").put('\0');
  EXPECT_TRUE(driver.CanWritePort(0x378));
  try {
    MakeParallelLineDriver(driver, 0x378);
    ADD_FAILURE() << "no error";
  } catch (const PortAccessError& e) {
    EXPECT_STREQ(e.what(),
                 "Can't claim parallel port LPT1 (0x378) (Inappropriate ioctl for device).");
  }
  driver.EndPortAccess();
  fs::remove_all(root);
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

// What ClaimWithin did on a thread of its own: the error text ("" for none), whether it
// took the full wait, and whether a wait right after it ran to its end uninterrupted.
struct ClaimOutcome {
  std::string error;
  bool waited_full = false;
  bool later_wait_undisturbed = false;
};

ClaimOutcome RunClaim(std::function<int()> claim, std::chrono::milliseconds wait_ms) {
  ClaimOutcome outcome;
  const auto start = std::chrono::steady_clock::now();
  try {
    ClaimWithin(claim, "LPT1 (0x378)", wait_ms);
  } catch (const PortAccessError& e) {
    outcome.error = e.what();
  }
  outcome.waited_full = std::chrono::steady_clock::now() - start >= wait_ms;
  // No signal meant for the claim may interrupt what the thread does next.
  outcome.later_wait_undisturbed = ::poll(nullptr, 0, 50) == 0;
  return outcome;
}

TEST(ParallelPortClaim, HeldPortIsGivenUpAfterTheWaitWithAnInUseError) {
  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  const std::string in_use =
      "LPT1 (0x378) is in use by another program: close it or let it finish (a print job, "
      "another send), then send again.";
  struct Case {
    const char* what;
    std::function<int()> claim;
    std::string error;
    bool waits_full;
  };
  const Case cases[] = {
      {"free port", [] { return 0; }, "", false},
      {"claim refused", [] { return ENXIO; },
       "Can't claim parallel port LPT1 (0x378) (No such device or address).", false},
      // Interruptible sleeps that never end by themselves, as PPCLAIM on a held port.
      {"held (pause)", [] { return ::pause() == 0 ? 0 : errno; }, in_use, true},
      {"held (read of an empty pipe)",
       [fd = pipe_fds[0]] {
         char byte;
         return ::read(fd, &byte, 1) < 0 ? errno : 0;
       },
       in_use, true},
  };
  constexpr std::chrono::milliseconds kWaitMs{200};
  for (const Case& c : cases) {
    std::packaged_task<ClaimOutcome()> task([&c, kWaitMs] { return RunClaim(c.claim, kWaitMs); });
    std::future<ClaimOutcome> result = task.get_future();
    std::thread claimer(std::move(task));
    if (result.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      claimer.detach();  // blocked for good; the process's end takes it
      ADD_FAILURE() << c.what << ": the claim did not return within 5 s";
      continue;
    }
    claimer.join();
    const ClaimOutcome outcome = result.get();
    EXPECT_EQ(outcome.error, c.error) << c.what;
    if (c.waits_full) {
      EXPECT_TRUE(outcome.waited_full) << c.what;
    }
    EXPECT_TRUE(outcome.later_wait_undisturbed) << c.what;
  }
  ::close(pipe_fds[0]);
  ::close(pipe_fds[1]);
}

}  // namespace
}  // namespace transfer

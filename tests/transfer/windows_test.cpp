// What only a run on Windows shows: the system's timer, serial API and port driver.
#include <gtest/gtest.h>

#include <chrono>

#include "transfer/port_choice.h"
#include "transfer/precise_pacer.h"
#include "transfer/va_comm.h"
#include "transfer/zlportio.h"

namespace transfer {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

TEST(WindowsPacer, NoPauseEndsEarly) {
  PrecisePacer pacer;
  constexpr int kPauses = 100;
  const auto begin = Pacer::Clock::now();
  for (int i = 0; i < kPauses; ++i) {
    const microseconds pause = i % 8 == 7 ? microseconds(30000) : microseconds(1000);
    const auto deadline = pacer.Now() + pause;
    pacer.WaitUntil(deadline);
    EXPECT_GE(Pacer::Clock::now(), deadline) << "pause " << i;
  }
  // Only a loose bound: a loaded machine (or Wine) may wake late, never early.
  const auto nominal = milliseconds(kPauses / 8 * 30 + (kPauses - kPauses / 8) * 1);
  EXPECT_LT(Pacer::Clock::now() - begin, 5 * nominal);
}

TEST(WindowsSerialPort, AComPortThatDoesNotExistIsNotFoundAndStaysClosed) {
  TVaComm comm;
  comm.SetDeviceName("COM200");
  try {
    comm.Open();
    FAIL() << "opened";
  } catch (const EVaCommError& e) {
    EXPECT_STREQ(e.what(), "Specified device not found (\\\\.\\COM200).");
    EXPECT_EQ(e.ErrorCode(), 2);
  }
  EXPECT_FALSE(comm.Active());
  EXPECT_NO_THROW(comm.SetDtrLine(true));  // closed: nothing happens
}

TEST(WindowsPortDriver, WithoutTheDriverFileASendIsRefusedBeforeAnyLineMoves) {
  // The tests run without zlportio.sys beside them and without a running port driver.
  PortDriver& driver = ProcessPortDriver();
  driver.StartPortAccess();
  driver.SetDirectPortAccess(true);
  EXPECT_FALSE(driver.DriverOpen());
  EXPECT_FALSE(driver.DirectAccess());
  TVaComm comm;
  try {
    ChooseLineDriver(kLpt1Setting, driver, comm);
    FAIL() << "a line driver for a port that cannot be written";
  } catch (const NoPortDriverError& e) {  // told apart: the front adds its advice
    EXPECT_EQ(std::string(e.what()),
              "Can't access parallel port LPT1 (0x378). Check that the port driver file "
              "zlportio.sys lies beside the program and that the program runs with "
              "administrator rights.");
  }
  driver.EndPortAccess();
}

}  // namespace
}  // namespace transfer

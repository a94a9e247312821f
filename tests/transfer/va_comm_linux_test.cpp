#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "transfer/port_open.h"
#include "transfer/va_comm.h"

extern char** environ;

namespace transfer {
namespace {

// The master side of a pseudo-terminal; its slave is a serial device without modem lines.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
      slave_ = ::ptsname(master_);
    }
  }
  ~PseudoTerminal() {
    if (master_ >= 0) ::close(master_);
  }
  const std::string& SlavePath() const { return slave_; }
  // The line settings of the slave, as the master sees them.
  termios Settings() const {
    termios settings{};
    ::tcgetattr(master_, &settings);
    return settings;
  }

 private:
  int master_ = -1;
  std::string slave_;
};

TEST(TVaComm, DeviceNameIsFormattedWithThePortNumber) {
  TVaComm comm;
  EXPECT_EQ(comm.PortNum(), 1);
  EXPECT_EQ(comm.PortName(), "COM1");
  EXPECT_EQ(comm.SystemDeviceName(), "/dev/ttyS0");
  comm.SetPortNum(2);
  EXPECT_EQ(comm.PortName(), "COM2");
  EXPECT_EQ(comm.SystemDeviceName(), "/dev/ttyS1");
  comm.SetDeviceName("/dev/ttyUSB0");
  EXPECT_EQ(comm.SystemDeviceName(), "/dev/ttyUSB0");
  comm.SetDeviceName("com12");
  EXPECT_EQ(comm.SystemDeviceName(), "/dev/ttyS11");
  comm.SetDeviceName("COM0");
  EXPECT_EQ(comm.SystemDeviceName(), "COM0");
}

// ports --com1/--com2 leave a link in the user folder; only those two ports follow one.
TEST(TVaComm, Com1AndCom2FollowTheirLinksAndNoOtherPortDoes) {
  const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) / "rdsq7_links";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  for (const char* name : {"com1", "com2", "com3"}) {
    std::filesystem::create_symlink("/dev/null", folder / name);
  }
  TVaComm comm;
  comm.SetPortLinkFolder(folder);
  const std::string expected[] = {(folder / "com1").string(), (folder / "com2").string(),
                                  "/dev/ttyS2"};
  for (int n = 1; n <= 3; ++n) {
    comm.SetPortNum(n);
    EXPECT_EQ(comm.SystemDeviceName(), expected[n - 1]) << n;
  }
  EXPECT_EQ(PortLink(folder, "Com2"), folder / "com2");
  std::filesystem::remove_all(folder);
}

TEST(TVaComm, MissingDeviceIsNotFoundAndLeavesThePortClosed) {
  TVaComm comm;
  comm.SetDeviceName("/dev/ttyRDSQ7missing");
  try {
    comm.Open();
    FAIL() << "opened";
  } catch (const EVaCommError& e) {
    EXPECT_STREQ(e.what(), "Specified device not found (/dev/ttyRDSQ7missing).");
  }
  EXPECT_FALSE(comm.Active());
  comm.SetDtrLine(true);  // closed: nothing happens
  comm.Close();
}

TEST(TVaComm, NonSerialFileCannotBeOpened) {
  TVaComm comm;
  comm.SetDeviceName("/dev/null");
  try {
    comm.Open();
    FAIL() << "opened";
  } catch (const EVaCommError& e) {
    EXPECT_TRUE(std::string(e.what()).starts_with("Can't open specified device /dev/null (Error "))
        << e.what();
  }
  EXPECT_FALSE(comm.Active());
}

TEST(TVaComm, PseudoTerminalOpensButHasNoModemLines) {
  PseudoTerminal pty;
  ASSERT_FALSE(pty.SlavePath().empty());
  TVaComm comm;
  comm.SetDeviceName(pty.SlavePath());
  ASSERT_NO_THROW(comm.Open());
  EXPECT_TRUE(comm.Active());
  // 1200 baud 8N1, raw, no flow control of any kind (a new terminal: 38400, cooked, XON/XOFF).
  const termios line = pty.Settings();
  EXPECT_EQ(::cfgetospeed(&line), B1200);
  EXPECT_EQ(::cfgetispeed(&line), B1200);
  EXPECT_EQ(line.c_cflag & (CSIZE | CSTOPB | PARENB | CRTSCTS | HUPCL | CLOCAL), CS8 | CLOCAL);
  EXPECT_EQ(line.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0U);
  EXPECT_EQ(line.c_lflag & (ICANON | ECHO), 0U);
  try {
    comm.SetDtrLine(false);
    FAIL() << "no error";
  } catch (const EVaCommError& e) {
    EXPECT_TRUE(std::string(e.what()).starts_with("Error calling comm function (")) << e.what();
    EXPECT_NE(e.ErrorCode(), 0);
  }
  EXPECT_THROW(comm.SetRtsLine(true), EVaCommError);
  comm.Close();
  EXPECT_FALSE(comm.Active());
  comm.Close();
}

TEST(TVaComm, PortInUseIsReportedAsBusy) {
  PseudoTerminal pty;
  ASSERT_FALSE(pty.SlavePath().empty());
  TVaComm first, second;
  first.SetDeviceName(pty.SlavePath());
  second.SetDeviceName(pty.SlavePath());
  first.Open();
  try {
    second.Open();
    FAIL() << "opened twice";
  } catch (const EVaCommError& e) {
    EXPECT_EQ(std::string(e.what()), "Can't open specified device " + pty.SlavePath() +
                                         " (Error 16, Device or resource busy)");
  }
  EXPECT_FALSE(second.Active());
  first.Close();
  EXPECT_NO_THROW(second.Open());  // free again
}

TEST(OpenNamedPort, SerialDevicePathGivesALineDriverOnThatDevice) {
  PseudoTerminal pty;
  ASSERT_FALSE(pty.SlavePath().empty());
  auto driver = OpenNamedPort(pty.SlavePath());
  ASSERT_NE(driver, nullptr);
  try {
    driver->ResetLines();
    FAIL() << "no error";
  } catch (const EVaCommError& e) {
    EXPECT_TRUE(std::string(e.what()).starts_with("Error calling comm function (")) << e.what();
  }
}

TEST(OpenNamedPort, FailureNamesThePortAndTheCure) {
  try {
    OpenNamedPort("/dev/ttyRDSQ7missing");
    FAIL() << "opened";
  } catch (const PortOpenError& e) {
    EXPECT_EQ(std::string(e.what()),
              "Can't open serial port /dev/ttyRDSQ7missing (No such file or directory): check "
              "the device name (ls /dev/ttyS* /dev/ttyUSB*) and that the adapter is plugged in.");
  }
  PseudoTerminal pty;
  ASSERT_FALSE(pty.SlavePath().empty());
  TVaComm holder;
  holder.SetDeviceName(pty.SlavePath());
  holder.Open();
  try {
    OpenNamedPort(pty.SlavePath());
    FAIL() << "opened twice";
  } catch (const PortOpenError& e) {
    EXPECT_EQ(std::string(e.what()), "Can't open serial port " + pty.SlavePath() +
                                         " (Device or resource busy): close any other program "
                                         "that uses the port.");
  }
  // Another program that has it open is named.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, pty.SlavePath().c_str(),
                                   O_RDWR | O_NOCTTY, 0);
  pid_t other = 0;
  char sleep_name[] = "sleep", seconds[] = "30";
  char* argv[] = {sleep_name, seconds, nullptr};
  ASSERT_EQ(posix_spawnp(&other, "sleep", &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  try {
    OpenNamedPort(pty.SlavePath());
    FAIL() << "opened twice";
  } catch (const PortOpenError& e) {
    EXPECT_TRUE(std::string(e.what()).ends_with(
        " that uses the port. It is open in sleep (process " + std::to_string(other) + ")."))
        << e.what();
  }
  kill(other, SIGKILL);
  waitpid(other, nullptr, 0);
  try {
    OpenNamedPort("/dev/parportRDSQ7missing");
    FAIL() << "opened";
  } catch (const PortOpenError& e) {
    EXPECT_TRUE(std::string(e.what()).starts_with(
        "Can't access parallel port /dev/parportRDSQ7missing (No such file or directory): "
        "check that the parport_pc and ppdev modules are loaded"))
        << e.what();
  }
}

// Hardware: a real port named by the environment; the lines are clocked a few times, to be
// watched with a meter or an encoder.
void ClockSomeBits(LineDriver& driver) {
  driver.ResetLines();
  for (rds::BitCell bit : {0, 1, 0, 0, 0, 1, 0, 0}) {
    driver.ClockHigh(bit);
    driver.ClockLow(bit);
  }
  driver.ResetLines();
}

TEST(Hardware, SerialPortDrivesDtrAndRts) {
  const char* device = std::getenv("RDSQ7_TEST_SERIAL");
  if (device == nullptr) GTEST_SKIP() << "set RDSQ7_TEST_SERIAL=/dev/ttyUSB0 to run";
  auto driver = OpenNamedPort(device);
  EXPECT_NO_THROW(ClockSomeBits(*driver));
}

TEST(Hardware, ParallelPortDataRegisterIsWritten) {
  const char* device = std::getenv("RDSQ7_TEST_PARPORT");
  if (device == nullptr) GTEST_SKIP() << "set RDSQ7_TEST_PARPORT=/dev/parport0 (or lpt1) to run";
  auto driver = OpenNamedPort(device);
  EXPECT_NO_THROW(ClockSomeBits(*driver));
}

}  // namespace
}  // namespace transfer

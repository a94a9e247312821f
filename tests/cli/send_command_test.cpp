#include "cli/send_command.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>

#if !defined(_WIN32)
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif
#include <sstream>

#include "cli/cli.h"
#include "cmdline/usage_error.h"
#include "tests/cli/run_cli.h"
#include "tests/transfer/fakes.h"
#include "transfer/zlportio.h"

namespace cli {
namespace {

using transfer::testing::FakePacer;

using testing::Result;
using testing::RunCli;

// A send with simulated time: every pause exactly as long as asked.
Result DryRun(std::vector<std::string> options, bool bar = false) {
  options.insert(options.begin(), "--dry-run");
  cmdline::Arguments args(options);
  std::ostringstream out, err;
  FakePacer pacer;
  const int status = SendCommand(args, out, err, pacer, bar);
  return {status, out.str(), err.str()};
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string TempPath(const std::string& name) {
  return (std::filesystem::path(::testing::TempDir()) / name).string();
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(SendCommand, PrintsTheRecordThenTheSummary) {
  const Result r = DryRun({});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "PS=FM RADIO\nPTY=0\nTP=1\nTA=0\nAF1=\nAF2=\nAF3=\nAF4=\nAF5=\nAF6=\nAF7=\nMS=1\n"
            "PI=FFFF\nDI=0000\n"
            "elapsed_ms=2576.0 nominal_ms=2576 ratio=1.0000 min_bit_pause_us=1000 "
            "min_run_pause_us=31000\n");
  // The window's initial PI and PS are the mistakes stations make most: sent, with a warning.
  EXPECT_EQ(r.err,
            "rdsq7-cli: warning: PI FFFF is the factory default or unset: receivers may confuse "
            "this station with others\n"
            "rdsq7-cli: warning: PS is still the program's default 'FM RADIO'\n");
}

TEST(SendCommand, RecordShowsCorrectedFieldsAndUtf8Text) {
  const Result r =
      DryRun({"--ps",
              "R\xC3\xA1"
              "dio",
              "--pi", "12a7", "--di", "0001", "--pty", "10", "--af", "98,5", "--af", "87.6"});
  ASSERT_EQ(r.status, 0);
  const std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 15U);
  EXPECT_EQ(lines[0],
            "PS=R\xC3\xA1"
            "dio");
  EXPECT_EQ(lines[1], "PTY=10");
  EXPECT_EQ(lines[4], "AF1=98.5");
  EXPECT_EQ(lines[5], "AF2=87.6");
  EXPECT_EQ(lines[6], "AF3=");
  EXPECT_EQ(lines[12], "PI=12A7");
  EXPECT_EQ(lines[13], "DI=0001");
}

TEST(SendCommand, BytesFileHoldsTheParallelPortWrites) {
  const std::string path = TempPath("send_bytes.txt");
  ASSERT_EQ(DryRun({"--bytes", path}).status, 0);
  const std::vector<std::string> lines = Lines(ReadFile(path));
  ASSERT_EQ(lines.size(), 898U);
  EXPECT_EQ(lines.front(), "00");
  EXPECT_EQ(lines.back(), "00");
  const std::vector<std::string> first16(lines.begin() + 1, lines.begin() + 17);
  EXPECT_EQ(first16, (std::vector<std::string>{"08", "00", "18", "10", "08", "00", "08", "00", "08",
                                               "00", "18", "10", "08", "00", "08", "00"}));
  for (std::size_t i = 1; i + 1 < lines.size(); i += 2) {
    ASSERT_TRUE(lines[i] == "08" || lines[i] == "18") << i;
    EXPECT_EQ(lines[i + 1], lines[i] == "08" ? "00" : "10") << i;
  }
  std::remove(path.c_str());
}

TEST(SendCommand, VcdFileHasTheTwoSignalsAndATimeStampPerLineChange) {
  const std::string path = TempPath("send.vcd");
  ASSERT_EQ(DryRun({"--vcd=" + path}).status, 0);
  const std::string vcd = ReadFile(path);
  EXPECT_NE(vcd.find("$var wire 1 d data $end"), std::string::npos);
  EXPECT_NE(vcd.find("$var wire 1 c clock $end"), std::string::npos);
  int stamps = 0;
  for (const std::string& line : Lines(vcd)) stamps += !line.empty() && line[0] == '#';
  EXPECT_EQ(stamps, 898);
  EXPECT_NE(vcd.find("\n#2576000\n"), std::string::npos) << "ends at the nominal time";
  std::remove(path.c_str());
}

TEST(SendCommand, ProgressBarGoesToErrAndIsClearedAtTheEnd) {
  const Result r = DryRun({"--pi", "2A07", "--ps", "NEWS"}, true);
  EXPECT_NE(r.err.find("] 56/56"), std::string::npos);
  EXPECT_EQ(r.err.back(), '\r');
}

TEST(SendCommand, AnUnwritableOutputFailsBeforeTheSend) {
  for (const std::string& path : {TempPath("no/such/folder/bytes.txt"), TempPath("")}) {
    cmdline::Arguments args({"--dry-run", "--bytes", path});
    std::ostringstream out, err;
    FakePacer pacer;
    EXPECT_THROW(SendCommand(args, out, err, pacer, false), std::runtime_error);
    EXPECT_EQ(pacer.waits(), 0);
    EXPECT_EQ(out.str(), "");
  }
}

TEST(SendCommand, WithoutDryRunItAsksForAPort) {
  std::ostringstream out, err;
  EXPECT_EQ(cli::Run({"send"}, out, err), 2);
  EXPECT_EQ(out.str(), "");
  EXPECT_NE(err.str().find("port"), std::string::npos);
  EXPECT_EQ(err.str().find('\n'), err.str().find("\nTry 'rdsq7-cli send --help'."));
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"send", "--dry-run=yes"},
                                             {"send", "--dry-run", "--bogus"},
                                             {"send", "--dry-run", "--vcd"},
                                             {"send", "--dry-run", "--pty", "40"}}) {
    std::ostringstream bad_out, bad_err;
    EXPECT_EQ(cli::Run(bad, bad_out, bad_err), 2) << bad_err.str();
  }
}

// The one run with real pacing: checks the form of the summary, not its figures, and that
// the priority the send got is told.
TEST(SendCommand, RealPacingThroughTheCommandLine) {
  std::ostringstream out, err;
  ASSERT_EQ(
      cli::Run({"send", "--dry-run", "--high-priority", "--pi", "2A07", "--ps", "NEWS"}, out, err),
      0)
      << err.str();
  EXPECT_TRUE(std::regex_match(err.str(), std::regex("high priority: (real-time \\(SCHED_FIFO "
                                                     "[0-9]+\\)|nice -[0-9]+|time-critical "
                                                     "thread|not permitted, normal priority)\n")))
      << err.str();
  const std::vector<std::string> lines = Lines(out.str());
  ASSERT_EQ(lines.size(), 15U);
  EXPECT_TRUE(
      std::regex_match(lines[14], std::regex("elapsed_ms=[0-9]+\\.[0-9] nominal_ms=2576 "
                                             "ratio=[0-9]\\.[0-9]{4} min_bit_pause_us=[0-9]+ "
                                             "min_run_pause_us=[0-9]+")))
      << lines[14];
}

}  // namespace
}  // namespace cli

#if !defined(_WIN32)
namespace cli {
namespace {

TEST(SendCommandPort, PortWithoutModemLinesFailsWithTheCommErrorAndNoRecord) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string pty = ptsname(master);
  const Result r = RunCli({"send", "--port", pty});
  close(master);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_NE(r.err.find("rdsq7-cli: error: send to " + pty + " failed: Error calling comm function"),
            std::string::npos)
      << r.err;
}

TEST(SendCommandPort, MissingDeviceFailsCleanlyWithStatusOne) {
  const std::string regular = TempPath("rdsq7-not-a-port");
  std::ofstream(regular) << "x";
  struct Case {
    std::string port;
    int status;
    std::string says;
  };
  for (const Case& c : std::vector<Case>{
           {"/dev/rdsq7-no-such-tty", 1, "/dev/rdsq7-no-such-tty"},
           {"", 2, "option --port: empty port name"},
           {regular, 1, regular + ": not a serial or parallel port device"},
           {"/dev/null", 1, "/dev/null: not a serial or parallel port device"},
           {"/tmp", 1, "/tmp: not a serial or parallel port device"},
           // Each parallel port at its own address (a machine without them here).
           {"LPT1", 1, transfer::FindParallelDevice(0x378) ? "" : "port LPT1 (0x378). No "},
           {"lpt2", 1, transfer::FindParallelDevice(0x278) ? "" : "port LPT2 (0x278). No "},
       }) {
    if (c.says.empty()) continue;
    const Result r = RunCli({"send", "--port", c.port});
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("other program"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\n'), c.status == 2 ? r.err.find("\nTry") : r.err.size() - 1);
  }
}

// The recording files are written after the send, also a failed one, with what was clocked
// until then; before that an existing file keeps its content.
TEST(SendCommandPort, AFailedSendStillWritesTheRecordingsWhole) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string vcd = TempPath("failed.vcd"), bytes = TempPath("failed.txt");
  std::ofstream(vcd) << "old";
  std::ofstream(bytes) << "old";
  const Result r = RunCli({"send", "--port", ptsname(master), "--vcd", vcd, "--bytes", bytes});
  close(master);
  EXPECT_EQ(r.status, 1);
  // The port refused the first reset of the lines: nothing was clocked.
  EXPECT_EQ(ReadFile(bytes), "");
  EXPECT_NE(ReadFile(vcd).find("$enddefinitions"), std::string::npos) << ReadFile(vcd);
  EXPECT_EQ(ReadFile(vcd).find("\n#"), std::string::npos) << ReadFile(vcd);
}

TEST(SendCommandPort, APortOrADryRunIsNeededButNotBoth) {
  EXPECT_EQ(RunCli({"send"}).status, 2);
  EXPECT_EQ(RunCli({"send", "--dry-run", "--port", "com1"}).status, 2);
}

// ports --com1 points COM1, of the window and of send --port, at another serial device.
TEST(PortsCommand, Com1LeadsWherePortsPointsItUntilDefault) {
  const std::filesystem::path config = TempPath("ports_config");
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string pty = ptsname(master);
  const Result set = RunCli({"ports", "--com1", pty});
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_NE(set.out.find("COM1: " + pty + " (" + (config / "rdsq7/com1").string() + ")\n"),
            std::string::npos)
      << set.out;
  // A pseudo-terminal has no modem lines: the send reaches it and fails there.
  EXPECT_NE(RunCli({"send", "--port", "COM1"}).err.find("Inappropriate ioctl for device"),
            std::string::npos);
  close(master);
  EXPECT_EQ(RunCli({"ports", "--com2", "/dev/rdsq7-missing"}).status, 2);
  std::filesystem::remove(config / "rdsq7/com2");  // never write through a link
  std::ofstream(config / "rdsq7/com2") << "mine";  // not a link: left alone
  EXPECT_EQ(RunCli({"ports", "--com2", "/dev/null"}).status, 2);
  EXPECT_EQ(ReadFile((config / "rdsq7/com2").string()), "mine");
  std::filesystem::remove(config / "rdsq7/com2");
  const std::string back = RunCli({"ports", "--com1", "default"}).out;
  EXPECT_NE(back.find("COM1: /dev/ttyS0 (default)\nCOM2: /dev/ttyS1 (default)\n"),
            std::string::npos)
      << back;
  ::unsetenv("XDG_CONFIG_HOME");
}

// Only a serial device becomes a COM port: anything else would fail at the next send only.
TEST(PortsCommand, RefusesWhatIsNoSerialDeviceAndKeepsTheLink) {
  const std::filesystem::path config = TempPath("ports_refused");
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  const std::string regular = TempPath("rdsq7-not-a-port");
  std::ofstream(regular) << "x";
  for (const auto& [path, why] : std::vector<std::pair<std::string, std::string>>{
           {"/tmp", "it is a folder"},
           {regular, "it is a regular file"},
           {"/dev/null", "it is a device but no terminal line"},
           {"/dev/rdsq7-missing", "No such file or directory"},
       }) {
    const Result r = RunCli({"ports", "--com2", path});
    EXPECT_EQ(r.status, 2) << path;
    EXPECT_EQ(r.err.substr(0, r.err.find('\n')),
              "rdsq7-cli: error: option --com2: '" + path + "' is not a serial device: " + why);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(config / "rdsq7/com2")));
  }
  ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace cli
#endif

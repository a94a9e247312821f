#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <random>
#include <sstream>

#include "cli/cli.h"
#include "rds/station.h"
#include "tests/cli/run_cli.h"
#ifndef _WIN32
#include "tests/receiver/mpx_synth.h"
#endif

namespace cli {
namespace {

using testing::Result;
using testing::RunCli;

TEST(EncodeCommand, PrintsTheInitialWindowValuesByDefault) {
  const Result r = RunCli({"encode"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "FFFF/031 0408/1EB E0CD/1E9 464D/04B\n"
            "FFFF/031 0409/052 CDCD/2B3 2052/2E1\n"
            "FFFF/031 040A/299 CDCD/2B3 4144/0E5\n"
            "FFFF/031 040B/320 CDCD/2B3 494F/274\n");
  EXPECT_EQ(r.err,
            "rdsq7-cli: warning: PI FFFF is the factory default or unset: receivers may confuse "
            "this station with others\n"
            "rdsq7-cli: warning: PS is still the program's default 'FM RADIO'\n");
}

TEST(EncodeCommand, EveryFieldOption) {
  const Result r = RunCli({"encode", "--ps", "ABCDEFGH", "--pi=2a07", "--pty", "10",   "--tp",
                           "1",      "--ta", "1",        "--ms",      "1",     "--di", "0001",
                           "--af",   "87.6", "--af",     "98.5",      "--af",  "107.9"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "2A07/024 0558/2BF E301/08A 4142/0CA\n"
            "2A07/024 0559/306 6ECC/1B6 4344/15D\n"
            "2A07/024 055A/1CD CDCD/2B3 4546/0E7\n"
            "2A07/024 055F/329 CDCD/2B3 4748/273\n");
}

#ifndef _WIN32
TEST(EncodeCommand, EitherDecimalMarkInAGermanLocale) {
  ::setenv("LC_ALL", "de_DE.UTF-8", 1);
  const bool german = std::setlocale(LC_ALL, "") != nullptr;
  const Result r = RunCli({"encode", "--af", "98.5", "--af", "101,2", "--format", "hex"});
  ::unsetenv("LC_ALL");
  std::setlocale(LC_ALL, "C");
  if (!german) GTEST_SKIP() << "no de_DE.UTF-8 locale here (scripts/setup makes it)";
  EXPECT_EQ(r.out.substr(0, 19), "FFFF 0408 E26E 464D") << r.err;  // 2 AFs: 98.5,
  EXPECT_EQ(r.out.substr(30, 2), "89");                            // 101.2
}
#endif

// Scripts of earlier releases name the decimal mark; it is taken, unused, with a note.
TEST(EncodeCommand, DecimalSeparatorOptionIsTakenAndIgnoredWithANote) {
  const Result r = RunCli({"encode", "--decimal-separator", ",", "--af", "98,5", "--af", "101.2"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, RunCli({"encode", "--af", "98.5", "--af", "101.2"}).out);
  EXPECT_EQ(r.err.substr(0, r.err.find('\n') + 1),  // warnings of the default PI and PS follow
            "rdsq7-cli: note: --decimal-separator is no longer needed and is ignored: AF entries "
            "take '.' or ',' as the decimal mark\n");
}

TEST(EncodeCommand, BitsFormatIsOneLineOf416Cells) {
  const Result r = RunCli({"encode", "--format", "bits"});
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(r.out.size(), 417U);
  EXPECT_EQ(r.out.find_first_not_of("01"), 416U);
}

TEST(EncodeCommand, HexFormatIsTheInformationWordsOnly) {
  const Result r = RunCli({"encode", "--format", "hex"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "FFFF 0408 E0CD 464D\n"
            "FFFF 0409 CDCD 2052\n"
            "FFFF 040A CDCD 4144\n"
            "FFFF 040B CDCD 494F\n");
}

TEST(EncodeCommand, AccentedPsIsSentInRdsTableCodes) {
  const Result r = RunCli({"encode", "--format", "hex", "--ps",
                           "R\xC3\xA1"
                           "dio"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out.substr(15, 4), "5280");
}

TEST(EncodeCommand, BadUsageIsOneLineOnStderrWithStatusTwo) {
  const std::vector<std::vector<std::string>> bad = {
      {"encode", "--bogus"},
      {"encode", "--ps"},
      {"encode", "--pty", "32"},
      {"encode", "--pty", "-1"},
      {"encode", "--tp", "2"},
      {"encode", "--pty", "007"},  // one or two digits, as the settings file holds them
      {"encode", "--tp", "001"},
      {"encode", "--ms", "x"},
      {"encode", "--di", "012"},
      {"encode", "--di", "0102"},
      {"encode", "--af", "1", "--af", "2", "--af", "3", "--af", "4", "--af", "5", "--af", "6",
       "--af", "7", "--af", "8"},
      {"encode", "--af", "107.90"},
      {"encode", "--pi", "12345"},
      {"encode", "--ps", "TOO LONG!"},
      {"encode", "--ps", "\xD0\x96"},
      // Overlong forms, a surrogate, a code point above U+10FFFF: none is UTF-8.
      {"encode", "--ps", "X\xC1\x81X"},
      {"encode", "--ps",
       "A\xC0\x80"
       "B"},
      {"encode", "--ps", "\xE0\x81\x81"},
      {"encode", "--ps", "\xED\xA0\x80"},
      {"encode", "--ps", "\xF4\x90\x80\x80"},
      // Control characters would be sent and break the record into more lines.
      {"encode", "--ps", "A\nB"},
      {"encode", "--ps", "A\x7F"},
      {"encode", "--pi", "1\t2"},
      {"encode", "--af", "9\r8"},
      // A long value is quoted short, on the one line.
      {"encode", "--format", std::string(130000, 'x') + "\n\x1B[2J"},
      {"encode", "--ps=" + std::string(130000, 'y')},
      {"encode", "--format", "hex2"},
      // What a send would drop or change (serve's tests check the reasons).
      {"encode", "--pi", "XYZ1"},
      {"encode", "--pi", "2a0"},
      {"encode", "--af", "200"},
      {"encode", "--af", "98.55"},
      {"encode", "--af", "9x.5"},
      {"frobnicate"},
      {},
  };
  for (const auto& args : bad) {
    const Result r = RunCli(args);
    SCOPED_TRACE(r.err);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("rdsq7-cli: error: ", 0), 0U);
    // One line of error, one that points to the help.
    const std::string help = !args.empty() && args[0] == "encode" ? "encode " : "";
    const std::size_t end = r.err.find('\n');
    EXPECT_EQ(r.err.substr(end + 1), "Try 'rdsq7-cli " + help + "--help'.\n");
    EXPECT_LT(end, 200U);
    EXPECT_EQ(r.err.find('\x1B'), std::string::npos);
  }
}

// The usual conventions of a command line: arguments, exit status, the first words said.
TEST(CommandLine, FollowsTheConventions) {
  // A config file an editor began with a byte-order mark reads as any other.
  const std::string bom_config = ::testing::TempDir() + "rdsq7_bom.conf";
  std::ofstream(bom_config) << "\xEF\xBB\xBF"
                               "dry-run\n";
  asio::io_context io;  // a port another program holds
  asio::ip::tcp::acceptor taken(io, {asio::ip::make_address("127.0.0.1"), 0});
  const std::string address = "127.0.0.1:" + std::to_string(taken.local_endpoint().port());
  const std::string instance = "rdsq7-taken-" + std::to_string(std::random_device{}());
  // A bad line is named by its number, blank and comment lines counted.
  const std::string bad_config = ::testing::TempDir() + "rdsq7_bad.conf";
  std::ofstream(bad_config) << "# studio\n\ndry-run\nta-timeout 5m\n";
  const std::string bad_address =
      "rdsq7-cli: error: option --uecp-address: expected SITE:ENCODER, site 1 to 1023 and "
      "encoder 1 to 63, got '";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string starts;  // stdout when status is 0, else stderr
  };
  const std::vector<Case> cases = {
      {{"--version"}, 0, "rdsq7-cli " RDSQ7_VERSION "\n"},
      {{"-h"}, 0, "Usage: rdsq7-cli COMMAND"},
      {{"encode", "-h"}, 0, "Usage: rdsq7-cli encode"},
      {{"serve", "--help"}, 0, "Usage: rdsq7-cli serve"},
      {{"serve", "--allow", "10.0.0.0/33", "--help"},
       2,
       "rdsq7-cli: error: option --allow: bad prefix length in '10.0.0.0/33'"},
      {{"encode", "--"}, 0, "FFFF/031 0408/1EB"},
      {{"--", "encode", "--pi", "2A07"}, 0, "2A07/024"},
      {{"encode", "--ps", "--"}, 0, "FFFF/031 0408/1EB E0CD/1E9 2D2D"},  // "--" is a value
      {{"encode", "--", "--ps", "X"}, 2, "rdsq7-cli: error: unexpected argument '--ps'"},
      {{"encode", "stray"}, 2, "rdsq7-cli: error: unexpected argument 'stray'"},
      {{"send", "--dry-run", "-x"},
       2,
       "rdsq7-cli: error: unknown option '-x' for send\nTry "
       "'rdsq7-cli send --help'."},
      {{"--bogus"}, 2, "rdsq7-cli: error: unknown option '--bogus'\nTry 'rdsq7-cli --help'."},
      {{"encode", "--format", std::string(61, 'x')},
       2,
       "rdsq7-cli: error: option --format: expected groups, hex or bits, got '" +
           std::string(60, 'x') + "...'\n"},
      {{"--", "--version"}, 2, "rdsq7-cli: error: unknown command '--version'"},
      {{"encode", "--ps", "TOO LONG!"},
       2,
       "rdsq7-cli: error: option --ps: at most 8 characters, got 9\n"},
      {{"pi", "KGNU"}, 0, "213E\n"},
      {{"pi", "wabc-fm"}, 0, "54C4\n"},
      {{"pi", "213e"}, 0, "KGNU\n"},
      {{"pi", "0FFF"}, 1, "rdsq7-cli: error: PI '0FFF' stands for no United States call letters\n"},
      {{"pi", "CBLA"}, 2, "rdsq7-cli: error: only United States call letters, beginning with K"},
      {{"pi"}, 2, "rdsq7-cli: error: pi needs call letters or a PI\nTry 'rdsq7-cli pi --help'."},
      {{"pi", "KGNU", "WABC"}, 2, "rdsq7-cli: error: pi takes one argument"},
      {{"encode", "--call", "KGNU", "--format", "hex"}, 0, "213E 0408"},
      {{"encode", "--call", "KAB"}, 2, "rdsq7-cli: error: option --call: 'KAB' is not among"},
      {{"serve", "--config", bom_config},
       2,
       "rdsq7-cli: error: serve needs --listen, --listen-udp, --text-serial, --uecp, --uecp-udp "
       "or --uecp-serial"},
      {{"serve", "--config", bad_config},
       2,
       "rdsq7-cli: error: " + bad_config +
           ":4: option --ta-timeout: expected a number from 0 to 86400, got '5m'\n"},
      // 0 is the broadcast address a frame may carry, never an encoder's own.
      {{"serve", "--uecp-address", "0:5"}, 2, bad_address + "0:5'"},
      {{"serve", "--uecp-address", "1024:1"}, 2, bad_address + "1024:1'"},
      {{"serve", "--uecp-address", "1:0"}, 2, bad_address + "1:0'"},
      {{"serve", "--uecp-address", "1:64"}, 2, bad_address + "1:64'"},
      {{"serve", "--uecp-address", "1:1"}, 2, "rdsq7-cli: error: serve needs exactly one of"},
      {{"serve", "--uecp-address", "1023:63"}, 2, "rdsq7-cli: error: serve needs exactly one of"},
      {{"serve", "--dry-run", "--fallback-after", "5x"},
       2,
       "rdsq7-cli: error: option --fallback-after: expected a duration such as 90s, 10m or 1h, "
       "got '5x'"},
      // Serial speeds from the standard table, a monitor time of at least a second.
      {{"serve", "--text-serial=C:50", "--uecp-baud=4000000", "--monitor-timeout=1", "-h"},
       0,
       "Usage"},
      {{"serve", "--text-serial=C:19201"},
       2,
       "rdsq7-cli: error: option --text-serial: expected a standard serial speed such as 9600 or "
       "115200, got '19201'"},
      {{"serve", "--uecp-baud=0"}, 2, "rdsq7-cli: error: option --uecp-baud: expected a standard"},
      {{"serve", "--monitor-timeout=0"},
       2,
       "rdsq7-cli: error: option --monitor-timeout: expected a number from 1 to"},
      {{"serve", "--dry-run", "--listen", address, "--instance", instance},
       1,
       "rdsq7-cli: error: option --listen: can't use " + address + ": "},
      {{"serve", "--dry-run", "--listen", "127.0.0.1:0", "--settings", "no-such-folder/tolvex.dat"},
       1,
       "rdsq7-cli: error: option --settings: no such folder 'no-such-folder'"},
      {{"serve", "--dry-run", "--listen", "127.0.0.1:0", "--log", "no-such-folder/serve.log"},
       1,
       "rdsq7-cli: error: option --log: no such folder 'no-such-folder'"},
      {{"serve", "--install-service", "studio/1", "--dry-run"},
       2,
       "rdsq7-cli: error: option --install-service: expected a name of up to 80 characters"},
#ifndef _WIN32
      {{"serve", "--install-service", "studio", "--dry-run", "--listen", "127.0.0.1:0"},
       2,
       "rdsq7-cli: error: option --install-service: only on Windows; use the systemd unit"},
      {{"serve", "--service", "studio", "--dry-run", "--listen", "127.0.0.1:0"},
       2,
       "rdsq7-cli: error: option --service: only on Windows; use the systemd unit"},
      {{"serve", "--dry-run", "--config", "/dev/zero"},
       1,
       "rdsq7-cli: error: option --config: can't read '/dev/zero' (not a regular file)"},
#else
      // Paths as typed: a backslash separates folders here.
      {{"monitor", "--input", "C:\\nope\\x.raw"},
       1,
       "rdsq7-cli: error: can't open 'C:\\nope\\x.raw'"},
      {{"serve", "--dry-run", "--listen", "127.0.0.1:0", "--log", "C:\\nope\\x\\s.log"},
       1,
       "rdsq7-cli: error: option --log: no such folder 'C:\\nope\\x'"},
#endif
  };
  for (const Case& c : cases) {
    const Result r = RunCli(c.args);
    SCOPED_TRACE(c.starts);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ((c.status == 0 ? r.out : r.err).rfind(c.starts, 0), 0U) << r.out << r.err;
  }
}

// The PI from call letters is checked against a PI given too; the help names the program
// types in the chosen list.
TEST(EncodeCommand, CallLettersAndRbdsNames) {
  const Result both = RunCli({"encode", "--call", "KGNU", "--pi", "213F", "--ps", "KGNU"});
  EXPECT_EQ(both.status, 0);
  EXPECT_EQ(both.out.substr(0, 4), "213F");
  EXPECT_EQ(both.err, "rdsq7-cli: warning: PI 213F does not match the call letters KGNU (213E)\n");
  EXPECT_EQ(RunCli({"encode", "--pi", "213E", "--call", "kgnu-fm", "--ps", "KGNU"}).err, "");
  for (const char* command : {"encode", "send", "serve", "monitor"}) {
    SCOPED_TRACE(command);
    const std::string rds = RunCli({command, "--help"}).out;
    EXPECT_NE(rds.find("10 Pop M "), std::string::npos);
    EXPECT_EQ(rds.find("10 Country"), std::string::npos);
    for (const char* mode : {"--rbds", "--call=KGNU"}) {
      EXPECT_NE(RunCli({command, "--help", mode}).out.find("10 Country "), std::string::npos);
    }
  }
}

#ifndef _WIN32
// The monitor names the program types and, in North America, the call letters of the PI; a
// default PI on air is a warning whatever the verdict, and any other PI none.
TEST(MonitorCommand, NamesTheCodesAndWarnsOfADefaultPiOnAir) {
  const std::string path = ::testing::TempDir() + "rdsq7_monitor.raw";
  const struct {
    std::string pi, mode, pi_line, pty_line, warning;
  } cases[] = {
      {"213E", "--rbds", " PI=213E (KGNU)\n", " PTY=10 (Country)\n", ""},
      {"213E", "--expect", " PI=213E\n", " PTY=10 (Pop M)\n", ""},
      {"FFFF", "--rbds", " PI=FFFF\n", " PTY=10 (Country)\n",
       "rdsq7-cli: warning: on air: PI FFFF is the factory default or unset: receivers may "
       "confuse this station with others\n"},
  };
  for (const auto& c : cases) {
    rds::StationSettings station;
    station.pi = c.pi, station.ps = "KGNU", station.pty = 10;
    const auto image = rds::Encode(station).image;
    const auto mpx = receiver::testing::SynthesizeMpx({image.begin(), image.end()}, 2.0, {});
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(mpx.data()), std::streamsize(mpx.size() * 2));
    const Result r =
        RunCli({"monitor", "--input", path, c.mode, "--pi", c.pi, "--ps", "KGNU", "--pty", "10"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(c.pi_line), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(c.pty_line), std::string::npos) << r.out;
    // The synthesizer's levels are a sound card's, not the scale the limits expect.
    EXPECT_EQ(std::regex_replace(r.err, std::regex("rdsq7-cli: warning: level [^\n]*\n"), ""),
              c.warning);
  }
  std::remove(path.c_str());
}
#endif

// Descriptions start in one column; a longer option stands on a line of its own. Each
// system gets advice that works there.
TEST(CommandLine, HelpColumnsAreAlignedAndAdviceIsTheSystemsOwn) {
#ifdef _WIN32
  const std::vector<std::string> foreign = {"/dev/", "SIGHUP", "sudo", "usermod", "modprobe"};
#else
  const std::vector<std::string> foreign = {"Device Manager", "Ctrl+Break", "COM3"};
#endif
  for (const std::string command : {"", "encode", "send", "serve", "ports", "monitor"}) {
    std::vector<std::string> args = {"--help"};
    if (!command.empty()) args.insert(args.begin(), command);
    const std::string text = RunCli(args).out;
    for (const std::string& word : foreign) {
      EXPECT_EQ(text.find(word), std::string::npos) << command << ": " << word;
    }
    std::istringstream help(text);
    for (std::string line; std::getline(help, line);) {
      if (line.rfind("  ", 0) != 0 || line.rfind("  or:", 0) == 0) continue;
      const std::size_t gap = line.find("  ", line.find_first_not_of(' '));
      if (gap == std::string::npos) continue;
      EXPECT_EQ(line.find_first_not_of(' ', gap), 24U) << command << ": " << line;
    }
  }
}

// Output that never arrived (a full disk, a closed pipe) is no success.
TEST(EncodeCommand, AFailedWriteOfTheOutputIsAnError) {
  struct FullDisk : std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
  } full;
  std::ostream out(&full);
  std::ostringstream err;
  EXPECT_EQ(cli::Run({"encode", "--pi", "2A07", "--ps", "NEWS"}, out, err), 1);
  EXPECT_EQ(err.str(), "rdsq7-cli: error: cannot write to standard output\n");
}

TEST(EncodeCommand, PsTextArrivesAsUtf8AndFitsWhenItsCharactersDo) {
  // Eight characters, nine bytes of UTF-8: still fits the box.
  EXPECT_EQ(RunCli({"encode", "--ps",
                    "R\xC3\xA1"
                    "dio 12"})
                .status,
            0);
}

TEST(EncodeCommand, HelpNamesTheOptions) {
  const Result r = RunCli({"encode", "--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("--af"), std::string::npos);
  EXPECT_NE(r.out.find("--format"), std::string::npos);
}

}  // namespace
}  // namespace cli

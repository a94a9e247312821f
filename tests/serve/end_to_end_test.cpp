// serve as a user runs it: a child process on loopback ports, driven over real sockets.
#if !defined(_WIN32)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <asio/connect.hpp>
#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>
#include <asio/read.hpp>
#include <asio/read_until.hpp>
#include <asio/streambuf.hpp>
#include <asio/write.hpp>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "appcore/settings_file.h"
#include "appcore/single_instance.h"
#include "rds/station.h"
#include "serve/uecp_frame.h"
#include "tests/receiver/mpx_synth.h"

extern char** environ;

namespace serve {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// The child with its stdout on a pipe.
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::string& instance, const fs::path& err) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> all = {RDSQ7_CLI_PATH};
    all.insert(all.end(), args.begin(), args.end());
    if (!instance.empty()) all.insert(all.end(), {"--instance", instance});
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    EXPECT_EQ(posix_spawn(&pid_, all[0].c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fds[0];
  }
  ~Child() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(out_);
  }

  pid_t Pid() const { return pid_; }

  // The next line that holds text, or "" after the time allowed.
  std::string LineWith(const std::string& text, std::chrono::milliseconds allowed) {
    for (std::string line = Line(allowed); !line.empty(); line = Line(allowed)) {
      if (line.find(text) != std::string::npos) return line;
    }
    return "";
  }

  // The next stdout line, or "" after the time allowed.
  std::string Line(std::chrono::milliseconds allowed) {
    const auto end = std::chrono::steady_clock::now() + allowed;
    while (true) {
      const auto nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      pollfd p{out_, POLLIN, 0};
      if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
      char chunk[4096];
      const ssize_t n = read(out_, chunk, sizeof chunk);
      if (n <= 0) return "";
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  // Keeps reading its stdout (serve's last lines may wait for a reader) until it ends.
  int Stop(int signal) {
    kill(pid_, signal);
    char chunk[4096];
    for (pollfd p{out_, POLLIN, 0}; poll(&p, 1, 30000) > 0;) {
      const ssize_t n = read(out_, chunk, sizeof chunk);
      if (n <= 0) break;
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string buffer_;
};

unsigned short PortOf(const std::string& line, const std::string& name) {
  std::smatch m;
  EXPECT_TRUE(std::regex_search(line, m, std::regex(" " + name + "=127\\.0\\.0\\.1:([0-9]+)")))
      << line;
  return m.empty() ? 0 : static_cast<unsigned short>(std::stoi(m[1]));
}

// A group's block with its checkword and offset word, computed here from the RDS
// generator polynomial x^10 + x^8 + x^7 + x^5 + x^4 + x^3 + 1.
std::uint32_t Block(std::uint16_t info, std::uint16_t offset) {
  std::uint32_t reg = static_cast<std::uint32_t>(info) << 10;
  for (int bit = 25; bit >= 10; --bit) {
    if (reg & (1U << bit)) reg ^= 0x5B9U << (bit - 10);
  }
  return static_cast<std::uint32_t>(info) << 10 | ((reg & 0x3FF) ^ offset);
}

std::string ExpectedImage() {
  // PI 2A07, TP 1, PTY 10, TA 1, MS 0, DI 0001 (stereo, carried by segment 3), AF 98.5
  // (code 110) and 87.6 (code 1): 226 110, 1 205, 205 205, 205 205; PS "E2E TEST".
  const std::uint16_t c[4] = {226 << 8 | 110, 1 << 8 | 205, 205 << 8 | 205, 205 << 8 | 205};
  const std::string ps = "E2E TEST";
  std::string bits;
  for (std::uint16_t s = 0; s < 4; ++s) {
    const std::uint16_t b = (1 << 10) | (10 << 5) | (1 << 4) | ((s == 3 ? 1 : 0) << 2) | s;
    const std::uint16_t d = static_cast<std::uint16_t>(ps[2 * s] << 8 | ps[2 * s + 1]);
    for (const std::uint32_t block :
         {Block(0x2A07, 0x0FC), Block(b, 0x198), Block(c[s], 0x168), Block(d, 0x1B4)}) {
      for (int bit = 25; bit >= 0; --bit) bits += (block >> bit & 1) ? '1' : '0';
    }
  }
  return bits;
}

std::string Ask(asio::ip::tcp::socket& socket, asio::streambuf& in, const std::string& line) {
  asio::write(socket, asio::buffer(line + "\n"));
  asio::read_until(socket, in, '\n');
  std::istream stream(&in);
  std::string reply;
  std::getline(stream, reply);
  return reply;
}

// A text client on the port serve names in a log line ("… text=127.0.0.1:4001 …").
struct TextPort {
  explicit TextPort(const std::string& line) {
    socket.connect({asio::ip::make_address("127.0.0.1"), PortOf(line, "text")});
  }
  std::string Ask(const std::string& command) { return serve::Ask(socket, in, command); }

  asio::io_context io;
  asio::ip::tcp::socket socket{io};
  asio::streambuf in;
};

// Ask, with "" when no answer comes within 10 s: for a serve that may be stuck.
std::string AskWithin(asio::ip::tcp::socket& socket, const std::string& line) {
  asio::write(socket, asio::buffer(line + "\n"));
  std::string reply;
  char c = 0;
  for (pollfd p{socket.native_handle(), POLLIN, 0};
       poll(&p, 1, 10000) > 0 && socket.read_some(asio::buffer(&c, 1)) == 1 && c != '\n';) {
    reply += c;
  }
  return reply;
}

// Frames for site 1, encoder 1: a broadcast would get no answer.
Bytes Frame(std::uint8_t sequence, const Bytes& message) {
  return EncodeUecpFrame(0x0041, sequence, message);
}

Bytes Hex(const std::string& text) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
    bytes.push_back(static_cast<std::uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
  }
  return bytes;
}

class ServeEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::path(::testing::TempDir()) / ("rdsq7_serve_" + std::to_string(getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    settings_ = app::SettingsFilePath(folder_);  // made by serve at its first save
    instance_ = "rdsq7-serve-test-" + std::to_string(getpid());
  }
  void TearDown() override { fs::remove_all(folder_); }

  fs::path folder_;
  fs::path settings_;
  std::string instance_;
};

TEST_F(ServeEndToEnd, ChangesFromAllPortsGoOutInOneSendAndAreSaved) {
  const fs::path bytes_file = folder_ / "bytes.txt";
  Child serve(
      {"serve", "--dry-run", "--listen", "127.0.0.1:0", "--uecp", "127.0.0.1:0", "--uecp-udp",
       "127.0.0.1:0", "--settings", settings_.string(), "--bytes", bytes_file.string()},
      instance_, folder_ / "err.txt");
  const std::string first = serve.Line(5s);
  ASSERT_NE(first.find(" serve "), std::string::npos) << first;

  asio::io_context io;
  asio::ip::tcp::socket text(io), uecp(io);
  const auto loopback = asio::ip::make_address("127.0.0.1");
  text.connect({loopback, PortOf(first, "text")});
  uecp.connect({loopback, PortOf(first, "uecp")});
  // Text commands in one go: each change is answered once it is saved, in order.
  asio::write(text, asio::buffer("PS=E2E TEST\nPTY=10\nPTY=32\nAF=98.5,87.6\nDI=0001\n" +
                                 std::string(300, 'x') + "\nPS?\n"));

  // PI 2A07 and TA 1 TP 1 over TCP, then radiotext alone.
  Bytes both = Frame(0x2A, {0x01, 0, 0, 0x2A, 0x07, 0x03, 0, 0, 0x03});
  const Bytes radiotext = Frame(0x2B, {0x0A, 0, 0, 3, 0, 'H', 'I'});
  both.insert(both.end(), radiotext.begin(), radiotext.end());
  asio::write(uecp, asio::buffer(both));
  // MS 0 over UDP.
  asio::ip::udp::socket udp(io, asio::ip::udp::endpoint(loopback, 0));
  udp.send_to(asio::buffer(Frame(0x2C, {0x05, 0, 0, 0})), {loopback, PortOf(first, "uecp-udp")});

  asio::streambuf in;
  for (const std::string answer : {"OK", "OK", "NO expected a number from 0 to 31, got '32'", "OK",
                                   "OK", "NO line longer than 255 bytes", "PS=E2E TEST"}) {
    asio::read_until(text, in, '\n');
    std::istream stream(&in);
    std::string reply;
    std::getline(stream, reply);
    EXPECT_EQ(reply, answer);
  }
  const Bytes ok = Hex("fe00412a021800f189ff");
  const Bytes unknown = Hex("fe00412b0318032b748eff");
  Bytes replies(ok.size() + unknown.size());
  asio::read(uecp, asio::buffer(replies));
  EXPECT_EQ(Bytes(replies.begin(), replies.begin() + 10), ok);
  EXPECT_EQ(Bytes(replies.begin() + 10, replies.end()), unknown);
  std::array<std::uint8_t, 64> datagram{};
  const std::size_t got = udp.receive(asio::buffer(datagram));
  EXPECT_EQ(Bytes(datagram.begin(), datagram.begin() + got), Hex("fe00412c021800d610ff"));

  // One send carries them all, in the order they came from the three ports.
  const std::string line = serve.LineWith(" send changes=", 15s);
  for (const char* field : {"PS", "PTY", "AF", "DI", "PI", "TA", "TP", "MS"}) {
    EXPECT_TRUE(std::regex_search(line, std::regex(std::string("[=,]") + field + "[, ]"))) << line;
  }
  EXPECT_TRUE(
      std::regex_search(line, std::regex(" send changes=[A-Z,]+ latency_ms=[0-9.]+ "
                                         "elapsed_ms=[0-9.]+ nominal_ms=2576 ratio=[0-9.]+ "
                                         "min_bit_pause_us=[0-9]+ min_run_pause_us=[0-9]+$")))
      << line;
  EXPECT_EQ(Ask(text, in, "STATUS").rfind("STATUS ok ", 0), 0U);

  std::ifstream bytes(bytes_file);
  std::vector<std::string> writes;
  for (std::string w; std::getline(bytes, w);) writes.push_back(w);
  ASSERT_EQ(writes.size(), 898U);
  std::string bits;
  for (std::size_t i = 1; i + 1 < writes.size(); i += 2) bits += writes[i] == "18" ? '1' : '0';
  EXPECT_EQ(bits.substr(32), ExpectedImage());

  EXPECT_EQ(serve.Stop(SIGTERM), 0);  // the last save is on disk when it has ended
  app::SettingsValues saved;
  ASSERT_TRUE(app::LoadSettingsFile(settings_, saved).file_used);
  EXPECT_EQ(saved.station.ps, "E2E TEST");
  EXPECT_EQ(saved.station.pi, "2A07");
  EXPECT_EQ(saved.station.af[1], "87.6");
  EXPECT_EQ(saved.last_sent[0], "PS=E2E TEST");
  EXPECT_EQ(saved.last_sent[12], "PI=2A07");
}

std::string Text(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(ServeEndToEnd, RunsBesideTheWindowButNotBesideItsOwnInstanceOrSettingsFile) {
  const app::SingleInstance window(app::kInstanceName);
  if (window.AlreadyRunning()) GTEST_SKIP() << "a window of this user runs";
  Child first({"serve", "--dry-run", "--listen", "127.0.0.1:0", "--settings", settings_.string()},
              "", folder_ / "err1.txt");
  EXPECT_NE(first.Line(5s).find(" serve "), std::string::npos) << Text(folder_ / "err1.txt");

  // Each refuses at once; one that runs is killed rather than waited for.
  Child same({"serve", "--dry-run", "--listen", "127.0.0.1:0"}, "", folder_ / "err2.txt");
  EXPECT_EQ(same.Line(5s), "");
  EXPECT_EQ(same.Stop(SIGKILL), 1);
  EXPECT_EQ(Text(folder_ / "err2.txt"),
            "rdsq7-cli: error: serve instance 'rdsq7-serve' is already running\n");
  // A link to the file is the file: it does not get round the lock.
  const fs::path link = folder_ / "link.dat";
  fs::create_symlink(settings_, link);
  Child other({"serve", "--dry-run", "--listen", "127.0.0.1:0", "--settings", link.string()},
              instance_, folder_ / "err3.txt");
  EXPECT_EQ(other.Line(5s), "");
  EXPECT_EQ(other.Stop(SIGKILL), 1);
  EXPECT_EQ(Text(folder_ / "err3.txt"), "rdsq7-cli: error: settings file '" + link.string() +
                                            "' is in use by another serve (process " +
                                            std::to_string(first.Pid()) + ")\n");
  EXPECT_EQ(first.Stop(SIGTERM), 0);
}

TEST_F(ServeEndToEnd, WhatTheEncoderHasNotHadIsSentAtStartAndAtStop) {
  app::SettingsValues saved;
  saved.station.ps = "OLD";  // saved by a serve stopped before its send
  app::SaveSettingsFile(settings_, saved);
  Child serve({"serve", "--dry-run", "--listen", "127.0.0.1:0", "--settings", settings_.string()},
              instance_, folder_ / "err.txt");
  const std::string first = serve.Line(5s);
  TextPort text(first);
  EXPECT_EQ(text.Ask("PS=NEW"), "OK");
  EXPECT_EQ(serve.Stop(SIGINT), 0);
  EXPECT_NE(serve.LineWith(" send changes=UNSENT ", 1s), "");
  EXPECT_NE(serve.LineWith(" send changes=PS ", 1s), "");
  ASSERT_TRUE(app::LoadSettingsFile(settings_, saved).file_used);
  EXPECT_EQ(saved.last_sent[0], "PS=NEW");
}

TEST_F(ServeEndToEnd, KeepsAnsweringWithItsLogUnreadItsFileUnsavedAndItsPortMissing) {
  const fs::path config = folder_ / "serve.conf";
  // Saved by an editor that starts the file with a byte-order mark.
  std::ofstream(config) << "\xEF\xBB\xBF# one encoder\nlisten 127.0.0.1:0\n--uecp 127.0.0.1:0\n"
                        << "uecp-max-connections 0\nport " << (folder_ / "no-port").string()
                        << "\n";
  const fs::path gone = folder_ / "gone";
  fs::create_directories(gone);
  Child serve({"serve", "--config", config.string(), "--settings", (gone / "tolvex.dat").string()},
              instance_, folder_ / "err.txt");
  const std::string first = serve.Line(5s);
  EXPECT_NE(serve.LineWith("encoder port missing: ", 5s), "") << Text(folder_ / "err.txt");
  asio::io_context io;
  const auto loopback = asio::ip::make_address("127.0.0.1");
  // Each refused UECP peer is logged: far more than a pipe holds, and nobody reads it.
  for (int i = 0; i < 1500; ++i) {
    asio::ip::tcp::socket uecp(io);
    uecp.connect({loopback, PortOf(first, "uecp")});
  }
  asio::ip::tcp::socket text(io);
  text.connect({loopback, PortOf(first, "text")});
  // Each answer tells whether that change was saved: the folder goes, and comes back.
  fs::remove_all(gone);
  EXPECT_EQ(AskWithin(text, "PS=A").rfind("OK but not saved: ", 0), 0U);
  const std::string status = AskWithin(text, "STATUS");
  EXPECT_EQ(status.rfind("STATUS failed ", 0), 0U) << status;
  EXPECT_NE(status.find(" (settings not saved: "), std::string::npos) << status;
  fs::create_directories(gone);
  EXPECT_EQ(AskWithin(text, "PS=B"), "OK");
  fs::remove_all(gone);
  EXPECT_EQ(serve.Stop(SIGTERM), 1);  // the last save failed
  EXPECT_NE(serve.LineWith("stopped; the settings file does not hold the last state", 1s), "");
}

TEST_F(ServeEndToEnd, BeyondTheSendBudgetChangesWaitButTaGoesOut) {
  Child serve({"serve", "--dry-run", "--listen", "127.0.0.1:0", "--max-sends-per-hour", "1"},
              instance_, folder_ / "err.txt");
  const std::string first = serve.Line(5s);
  TextPort text(first);
  EXPECT_EQ(text.Ask("PS=ONE"), "OK");
  EXPECT_NE(serve.LineWith(" send changes=PS ", 10s), "");
  EXPECT_EQ(text.Ask("PS=TWO"), "OK");
  EXPECT_NE(serve.LineWith("send budget: 1 sends in the last hour; changes wait", 5s), "");
  const std::string status = text.Ask("STATUS");
  EXPECT_NE(status.find(" sends_last_hour=1/1 changes wait until "), std::string::npos) << status;
  EXPECT_EQ(text.Ask("TA=1"), "OK");
  EXPECT_NE(serve.LineWith(" send changes=PS,TA ", 10s), "");
  EXPECT_EQ(serve.Stop(SIGTERM), 0);
}

TEST_F(ServeEndToEnd, WhenAutomationGoesQuietTheFallbackReturnsUntilTheNextChange) {
  Child serve({"serve", "--dry-run", "--listen", "127.0.0.1:0", "--ps", "STATION",
               "--fallback-after", "6s", "--max-sends-per-hour", "0"},
              instance_, folder_ / "err.txt");
  const std::string first = serve.Line(5s);
  TextPort text(first);
  EXPECT_EQ(text.Ask("PS=SONG"), "OK");
  EXPECT_EQ(text.Ask("TA=1"), "OK");
  // Long enough for the first send (about 2.6 s) to end before the fallback comes.
  EXPECT_NE(serve.LineWith(" send changes=PS,TA ", 10s), "");
  EXPECT_NE(serve.LineWith("no change for 6 s: fallback", 10s), "");
  EXPECT_EQ(text.Ask("PS?"), "PS=STATION");
  EXPECT_EQ(text.Ask("TA?"), "TA=0");
  EXPECT_NE(text.Ask("STATUS").find(" FALLBACK since "), std::string::npos);
  EXPECT_EQ(text.Ask("PS=NEXT"), "OK");
  EXPECT_EQ(text.Ask("STATUS").find("FALLBACK"), std::string::npos);
  EXPECT_NE(serve.LineWith(" send changes=PS,TA ", 10s), "") << "the fallback went out";
  EXPECT_EQ(serve.Stop(SIGTERM), 0);
}

// A monitor that receives another station's data: the send is repeated once, then the alarm
// is raised; a change to what the monitor receives is confirmed and ends the alarm.
TEST_F(ServeEndToEnd, EverySendIsConfirmedOnAirRepeatedOnceThenAlarmed) {
  rds::StationSettings on_air;
  on_air.ps = "ON AIR";
  const auto image = rds::Encode(on_air).image;
  const std::vector<std::uint8_t> bits(image.begin(), image.end());
  const auto mpx = receiver::testing::SynthesizeMpx(bits, 2.0, {});
  const fs::path raw = folder_ / "mpx.raw";
  {
    std::ofstream out(raw, std::ios::binary);
    out.write(reinterpret_cast<const char*>(mpx.data()),
              static_cast<std::streamsize>(mpx.size() * sizeof mpx[0]));
  }
  Child serve({"serve", "--dry-run", "--listen", "127.0.0.1:0", "--max-sends-per-hour", "0",
               "--monitor-command", "while cat '" + raw.string() + "'; do sleep 1; done",
               "--monitor-timeout", "3"},
              instance_, folder_ / "err.txt");
  const std::string first = serve.LineWith(" text=", 5s);
  TextPort text(first);
  EXPECT_EQ(text.Ask("PS=ELSE"), "OK");
  EXPECT_NE(serve.LineWith("differs from the send: PS on air 'ON AIR  ' sent 'ELSE    '", 15s), "");
  EXPECT_NE(serve.LineWith("ALARM on air: differs from the send: PS", 15s), "");
  const std::string alarm = text.Ask("STATUS");
  EXPECT_TRUE(std::regex_search(alarm, std::regex(" ONAIR=mismatch PS( LEVELS=\\S+ \\S+)? ALARM")))
      << alarm;
  EXPECT_EQ(text.Ask("PS=ON AIR"), "OK");
  EXPECT_NE(serve.LineWith("on air: confirmed", 15s), "");
  const std::string confirmed = text.Ask("STATUS");
  EXPECT_TRUE(std::regex_search(confirmed, std::regex(" ONAIR=confirmed \\d\\d:\\d\\d:\\d\\d")))
      << confirmed;
  EXPECT_EQ(confirmed.find("ALARM"), std::string::npos);
  EXPECT_EQ(serve.Stop(SIGTERM), 0);
}

// A signal too weak for the PS is no mismatch: neither resent nor alarmed.
TEST_F(ServeEndToEnd, AWeakSignalIsNeitherResentNorAlarmed) {
  rds::StationSettings on_air;
  on_air.ps = "ON AIR";
  const auto image = rds::Encode(on_air).image;
  std::vector<std::uint8_t> bits(image.begin(), image.end());
  for (const std::size_t bit : {81, 83}) bits[3 * 104 + bit] ^= 1;  // the last PS segment lost
  const auto mpx = receiver::testing::SynthesizeMpx(bits, 2.0, {});
  const fs::path raw = folder_ / "mpx.raw";
  std::ofstream(raw, std::ios::binary)
      .write(reinterpret_cast<const char*>(mpx.data()),
             static_cast<std::streamsize>(mpx.size() * sizeof mpx[0]));
  Child serve({"serve", "--dry-run", "--listen", "127.0.0.1:0", "--max-sends-per-hour", "0",
               "--monitor-command", "cat '" + raw.string() + "'", "--monitor-timeout", "10"},
              instance_, folder_ / "err.txt");
  TextPort text(serve.LineWith(" text=", 5s));
  EXPECT_EQ(text.Ask("PS=ON AIR"), "OK");
  // The verdict's line (a mismatch would say "sending once more"), and STATUS. The command
  // ends after each 2 s of signal and is started again after growing pauses (2 s, 4 s).
  EXPECT_NE(serve.LineWith("on air: ", 25s).find("on air: PS not received"), std::string::npos);
  EXPECT_NE(text.Ask("STATUS").find(" ONAIR=weak PS"), std::string::npos);
  EXPECT_EQ(serve.Stop(SIGTERM), 0);
}

// A command that runs but writes nothing (a tuner that hangs): no verdict, told once, and
// the time for a send to show on air running out says nothing either.
TEST_F(ServeEndToEnd, AMonitorThatWritesNothingIsNoSignalWithinTenSeconds) {
  Child serve({"serve", "--dry-run", "--listen", "127.0.0.1:0", "--monitor-command",
               "exec sleep 60", "--monitor-timeout", "1"},
              instance_, folder_ / "err.txt");
  const std::string first = serve.LineWith(" text=", 5s);
  EXPECT_NE(serve.LineWith("on air: no samples from the monitor command for 10 s", 12s), "");
  TextPort text(first);
  EXPECT_EQ(text.Ask("PS=QUIET"), "OK");
  EXPECT_NE(serve.LineWith(" send changes=PS ", 5s), "");
  std::this_thread::sleep_for(1500ms);
  const std::string status = text.Ask("STATUS");
  EXPECT_NE(status.find(" ONAIR=no-signal"), std::string::npos) << status;
  EXPECT_EQ(serve.Stop(SIGTERM), 0);
  EXPECT_EQ(serve.LineWith("on air:", 0s), "") << "told once";
}

// Log rotation renames the file, then sends SIGHUP: serve goes on, with its state, in a new
// file.
TEST_F(ServeEndToEnd, SighupAfterARenameGoesOnInANewLogFile) {
  const fs::path log = folder_ / "serve.log", rotated = folder_ / "serve.log.1";
  Child serve({"serve", "--dry-run", "--listen", "127.0.0.1:0", "--log", log.string()}, instance_,
              folder_ / "err.txt");
  for (int i = 0; i < 50 && Text(log).find(" text=") == std::string::npos; ++i) {
    std::this_thread::sleep_for(100ms);
  }
  TextPort text(Text(log));
  EXPECT_EQ(text.Ask("PS=KEPT"), "OK");
  fs::rename(log, rotated);
  kill(serve.Pid(), SIGHUP);
  EXPECT_EQ(text.Ask("PS?"), "PS=KEPT");
  EXPECT_EQ(serve.Stop(SIGTERM), 0);
  EXPECT_TRUE(std::regex_search(Text(log),
                                std::regex("^\\S+ log file reopened\n[\\s\\S]* send changes=PS ")))
      << Text(log);
  EXPECT_NE(Text(rotated).find(" serve text="), std::string::npos);
}

// The monitor's air goes from the PS sent to another and back, then the monitor command dies:
// the alarm command hears start, the alarm naming PS, its recovery and monitor-failed, each
// as JSON on its standard input, with heartbeats between; the history holds them.
TEST_F(ServeEndToEnd, AnAlarmCommandHearsOfAFaultOnAirItsRecoveryAndABlindMonitor) {
  const auto write_mpx = [&](const std::string& name, const std::string& ps, double seconds) {
    rds::StationSettings station;
    station.ps = ps;
    const auto image = rds::Encode(station).image;
    const auto mpx = receiver::testing::SynthesizeMpx(
        std::vector<std::uint8_t>(image.begin(), image.end()), seconds, {});
    std::ofstream(folder_ / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(mpx.data()),
               static_cast<std::streamsize>(mpx.size() * sizeof mpx[0]));
  };
  write_mpx("a.raw", "SENT", 8);
  write_mpx("b.raw", "OTHER", 14);
  write_mpx("c.raw", "SENT", 60);
  // Played at about the rate of the air, a quarter of a second at a time; full scale is full
  // deviation, so that the levels are within their limits.
  const std::string dir = folder_.string();
  std::ofstream(folder_ / "monitor.sh")
      << "cd " << dir << " && [ ! -e dead ] || exit 1\necho $$ > monitor.pid\n"
      << "for f in a b c; do n=$(( $(wc -c < $f.raw) / 85500 )); i=0\n"
      << "  while [ $i -lt $n ]; do dd if=$f.raw bs=85500 skip=$i count=1 2>/dev/null\n"
      << "    i=$((i+1)); sleep 0.25; done; done\n";
  const fs::path events = folder_ / "events.jsonl", history = folder_ / "history.jsonl";
  Child serve({"serve",
               "--dry-run",
               "--listen",
               "127.0.0.1:0",
               "--ps",
               "SENT",
               "--monitor-command",
               "sh " + dir + "/monitor.sh",
               "--monitor-timeout",
               "3",
               "--full-scale-khz",
               "75",
               "--alarm-trip",
               "3",
               "--alarm-clear",
               "2",
               "--heartbeat",
               "2s",
               "--history",
               history.string(),
               "--alarm-command",
               "cat >> '" + events.string() + "'"},
              instance_, folder_ / "err.txt");
  const std::string first = serve.LineWith(" text=", 5s);
  TextPort text(first);
  EXPECT_EQ(text.Ask("SEND"), "OK");
  EXPECT_NE(serve.LineWith("on air: confirmed", 10s), "");
  EXPECT_NE(serve.LineWith("ALARM " + instance_ + ": PS on air 'OTHER', sent 'SENT', since", 30s),
            "");
  EXPECT_NE(text.Ask("STATUS").find(" ALARM CONDITIONS=mismatch"), std::string::npos);
  EXPECT_NE(serve.LineWith("RECOVERY " + instance_ + ": mismatch over after ", 30s), "");
  EXPECT_EQ(text.Ask("STATUS").find("CONDITIONS"), std::string::npos);
  std::ofstream(folder_ / "dead").put('\n');
  std::ifstream pid_file(folder_ / "monitor.pid");
  pid_t monitor = 0;
  pid_file >> monitor;
  ASSERT_GT(monitor, 0);
  kill(monitor, SIGKILL);
  EXPECT_NE(serve.LineWith("ALARM " + instance_ + ": ", 30s).find("monitor"), std::string::npos);
  EXPECT_EQ(serve.Stop(SIGTERM), 0);

  std::ifstream lines(events);
  std::string order;
  int heartbeats = 0;
  for (std::string line; std::getline(lines, line);) {
    std::smatch m;
    ASSERT_TRUE(std::regex_search(line, m,
                                  std::regex("^\\{\"event\":\"(\\w+)\",\"condition\":"
                                             "(null|\"([a-z-]+)\")")))
        << line;
    if (m[1] == "heartbeat") {
      ++heartbeats;
      continue;
    }
    order += std::string(m[1]) + (m[3].matched ? " " + std::string(m[3]) : "") + ", ";
    if (m[1] == "alarm" && m[3] == "mismatch") {
      EXPECT_NE(line.find("\"fields\":[{\"field\":\"PS\",\"on_air\":\"OTHER\",\"sent\":\"SENT\"}]"),
                std::string::npos)
          << line;
    }
  }
  EXPECT_EQ(order, "start, alarm mismatch, recovery mismatch, alarm monitor-failed, ");
  EXPECT_GE(heartbeats, 5);
  std::ifstream written(history);
  const std::string kept((std::istreambuf_iterator<char>(written)), {});
  for (const char* record : {"\"type\":\"start\"", "\"type\":\"send\"", "\"verdict\":\"confirmed\"",
                             "\"type\":\"alarm\",\"condition\":\"mismatch\"",
                             "\"type\":\"recovery\"", "\"type\":\"stop\""}) {
    EXPECT_NE(kept.find(record), std::string::npos) << record;
  }
}

// A pseudo-terminal stands for a USB serial adapter; the link names whichever is plugged in.
int PlugInLine(const fs::path& link) {
  const int line = posix_openpt(O_RDWR | O_NOCTTY);
  EXPECT_GE(line, 0);
  fcntl(line, F_SETFD, FD_CLOEXEC);  // serve must not hold it open
  EXPECT_EQ(grantpt(line), 0);
  EXPECT_EQ(unlockpt(line), 0);
  fs::remove(link);
  fs::create_symlink(ptsname(line), link);
  return line;
}

std::string ReadFrom(int line, std::size_t size) {
  std::string reply;
  char chunk[64];
  for (pollfd p{line, POLLIN, 0}; reply.size() < size && poll(&p, 1, 5000) > 0;) {
    const ssize_t n = read(line, chunk, sizeof chunk);
    if (n <= 0) break;
    reply.append(chunk, static_cast<std::size_t>(n));
  }
  return reply;
}

TEST_F(ServeEndToEnd, ALostSerialLineIsOpenedAgainAndLeavesTcpClientsAlone) {
  const fs::path link = folder_ / "ttyUECP";
  int line = PlugInLine(link);
  const fs::path text_link = folder_ / "ttyText";
  int text_line = PlugInLine(text_link);
  Child serve({"serve", "--dry-run", "--listen", "127.0.0.1:0", "--uecp-serial", link.string(),
               "--text-serial", text_link.string() + ":19200"},
              instance_, folder_ / "err.txt");
  const std::string first = serve.Line(5s);
  EXPECT_NE(first.find(" text-serial=" + text_link.string() + "@19200"), std::string::npos);
  // Automation on a serial line: the same commands and answers.
  const std::string command = "PS=SERIAL\r\nRT=Song\r\n";
  ASSERT_EQ(write(text_line, command.data(), command.size()), static_cast<ssize_t>(command.size()));
  EXPECT_EQ(ReadFrom(text_line, 40), "OK\nNO this encoder carries no RadioText\n");
  // Automation that writes thousands of lines before it reads one: what finds no room is
  // dropped, the log says so once, and the line is served on.
  fcntl(text_line, F_SETFL, O_NONBLOCK);  // a serve that stopped reading does not hold the test
  for (int i = 0, tries = 0; i < 8000 && tries < 10000; ++tries) {
    if (write(text_line, "STATUS\r\n", 8) == 8)
      ++i;
    else
      std::this_thread::sleep_for(1ms);
  }
  EXPECT_NE(serve.LineWith(text_link.string() + ": it does not read its answers; dropping", 10s),
            "");
  char chunk[4096];
  for (pollfd p{text_line, POLLIN, 0}; poll(&p, 1, 1000) > 0 && read(text_line, chunk, 4096) > 0;) {
  }
  EXPECT_EQ(serve.LineWith("; dropping those", 100ms), "") << "logged more than once";
  ASSERT_EQ(write(text_line, "PS?\r\n", 5), 5);
  EXPECT_EQ(ReadFrom(text_line, 10), "PS=SERIAL\n");
  close(text_line);
  close(line);  // the adapter unplugged
  EXPECT_NE(serve.LineWith("lost uecp-serial ", 5s), "");
  TextPort text(first);
  EXPECT_EQ(text.Ask("TA?"), "TA=0");

  line = PlugInLine(link);  // and plugged in again
  EXPECT_NE(serve.LineWith("uecp-serial " + link.string() + " open again", 10s), "");
  const Bytes frame = Hex("fe0041050404000001bb9bff");
  ASSERT_EQ(write(line, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
  const std::string reply = ReadFrom(line, 10);
  EXPECT_EQ(Bytes(reply.begin(), reply.end()), Hex("fe0041050218001229ff"));
  close(line);
  text_line = PlugInLine(text_link);
  EXPECT_NE(serve.LineWith("text-serial " + text_link.string() + " open again", 10s), "");
  termios speed{};
  ASSERT_EQ(tcgetattr(text_line, &speed), 0);  // a terminal's master shows its line's settings
  EXPECT_EQ(cfgetospeed(&speed), B19200);
  close(text_line);
  EXPECT_EQ(serve.Stop(SIGTERM), 0);
}

}  // namespace
}  // namespace serve
#endif

// The ports as peers meet them, in this process over loopback, with short limits.
#include "serve/network.h"

#include <gtest/gtest.h>

#include <asio/executor_work_guard.hpp>
#include <asio/read.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <sstream>
#include <thread>

#include "tests/serve/fake_station.h"

namespace serve {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

unsigned short PortIn(const std::string& opened) {
  return static_cast<unsigned short>(std::stoi(opened.substr(opened.rfind(':') + 1)));
}

// serve's network on a thread of its own, as serve runs it, with its log kept.
class Running {
 public:
  explicit Running(AllowList allow = {})
      : log_(std::make_unique<ServeLog>(log_text_)),
        network_(io_, station_, *log_, std::move(allow), std::nullopt) {}
  ~Running() { Stop(); }

  ServeNetwork& Network() { return network_; }
  // Each change is answered this long after it came, as a slow disk saves it.
  void SavesTake(std::chrono::milliseconds time) {
    station_.defer = [this, time](std::function<void()> told) {
      auto timer = std::make_shared<asio::steady_timer>(io_, time);
      timer->async_wait([timer, told](const std::error_code&) { told(); });
    };
  }
  void Start() {
    thread_ = std::thread([this] { io_.run(); });
  }
  // Stops the network and returns its log.
  std::string Stop() {
    if (thread_.joinable()) {
      io_.stop();
      thread_.join();
    }
    network_.Close();
    log_.reset();
    return log_text_.str();
  }

 private:
  asio::io_context io_;
  asio::executor_work_guard<asio::io_context::executor_type> work_ = asio::make_work_guard(io_);
  testing::FakeStation station_;
  std::ostringstream log_text_;
  std::unique_ptr<ServeLog> log_;
  ServeNetwork network_;
  std::thread thread_;
};

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(ServeNetwork, AClientDrippingBytesCannotKeepTheOnlyPlace) {
  Running serve;
  const unsigned short port = PortIn(serve.Network().ListenTcp(
      Protocol::kText, {asio::ip::make_address("127.0.0.1"), 0}, {1, 400ms, 200ms}));
  serve.Start();
  asio::io_context io;
  const asio::ip::tcp::endpoint at(asio::ip::make_address("127.0.0.1"), port);
  asio::ip::tcp::socket drip(io);
  drip.connect(at);
  // One byte every 50 ms, a line that never ends: closed once the line deadline passes.
  const auto end = Clock::now() + 3s;
  std::error_code error;
  while (Clock::now() < end && !error) {
    asio::write(drip, asio::buffer("P", 1), error);
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_TRUE(error) << "the dripping client was never closed";

  asio::ip::tcp::socket next(io);
  next.connect(at);
  asio::write(next, asio::buffer(std::string("PS?\n")));
  std::string answer(12, '\0');
  asio::read(next, asio::buffer(answer), error);
  EXPECT_EQ(answer, "PS=FM RADIO\n") << error.message();
  // It holds the only place: more connections are refused, counted rather than logged each.
  for (int i = 0; i < 1000; ++i) asio::ip::tcp::socket(io).connect(at, error);
  // Whole lines keep a connection open; nothing complete for the idle time closes it.
  std::this_thread::sleep_for(600ms);
  asio::write(next, asio::buffer(std::string("PS?\n")), error);
  char byte = 0;
  if (!error) asio::read(next, asio::buffer(&byte, 1), error);
  EXPECT_TRUE(error) << "the idle client was never closed";
  const std::string log = serve.Stop();
  EXPECT_EQ(Count(log, ": a line unfinished 200 ms after its first byte"), 1U) << log;
  EXPECT_EQ(Count(log, ": nothing complete for 400 ms"), 1U) << log;
  EXPECT_EQ(Count(log, ": 1 connections open on this port"), 1U) << log;
}

TEST(ServeNetwork, TextOverUdpIsAnsweredToTheSender) {
  Running serve;
  serve.SavesTake(200ms);
  const unsigned short port =
      PortIn(serve.Network().ListenUdp(Protocol::kText, {asio::ip::make_address("127.0.0.1"), 0}));
  serve.Start();
  asio::io_context io;
  const asio::ip::udp::endpoint at(asio::ip::make_address("127.0.0.1"), port);
  asio::ip::udp::socket udp(io, asio::ip::udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  struct Case {
    std::string datagram;
    std::vector<std::string> answers;  // one datagram each
  };
  const std::vector<Case> cases = {
      {"PS=UDP TEST\r\n", {"OK\n"}},
      {"TA=1", {"OK\n"}},  // a datagram is a line of its own
      {"PS?\nTA?\n", {"PS=UDP TEST\n", "TA=1\n"}},
      {"TEXT=Artist - Title", {"NO this encoder carries no RadioText\n"}},
      {"text=Another", {"NO this encoder carries no RadioText\n"}},
      {"DPS=Now playing", {"NO this encoder carries no dynamic PS\n"}},
      // Longer than a UECP frame: read whole, never a value cut short.
      {std::string(2041, 'x') + "\nPS=TRUNCATED",
       {"NO line longer than 255 bytes\n", "NO at most 8 characters, got 9\n"}},
      {"PS=ORDER", {}},                 // answered once saved,
      {"PS?", {"OK\n", "PS=ORDER\n"}},  // and before what came after it
  };
  for (const Case& c : cases) {
    udp.send_to(asio::buffer(c.datagram), at);
    for (const std::string& expected : c.answers) {
      std::array<char, 512> got{};
      const std::size_t n = udp.receive(asio::buffer(got));
      EXPECT_EQ(std::string(got.data(), n), expected) << c.datagram;
    }
  }
  const std::string log = serve.Stop();
  EXPECT_EQ(Count(log, "text-udp peer 127.0.0.1 sent RadioText: "), 1U) << log;
  EXPECT_EQ(Count(log, "text-udp peer 127.0.0.1 sent dynamic PS: "), 1U) << log;
}

TEST(ServeNetwork, ARefusedPeersDatagramsWriteAFewLogLines) {
  AllowList allow;
  allow.Add("192.0.2.0/24");  // loopback not among them
  Running serve(allow);
  const unsigned short port =
      PortIn(serve.Network().ListenUdp(Protocol::kUecp, {asio::ip::make_address("127.0.0.1"), 0}));
  serve.Start();
  asio::io_context io;
  asio::ip::udp::socket udp(io, asio::ip::udp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  for (int i = 0; i < 5000; ++i) {
    udp.send_to(asio::buffer(std::string("x")), {asio::ip::make_address("127.0.0.1"), port});
  }
  std::this_thread::sleep_for(200ms);
  const std::string log = serve.Stop();
  EXPECT_EQ(Count(log, "refused uecp-udp peer 127.0.0.1:"), 1U) << log;
}

TEST(RefusalLog, LogsEachPeerAtMostOnceAMinuteWithACount) {
  RefusalLog refusals;
  const Clock::time_point t{};
  struct Case {
    std::string peer;
    Clock::duration at;
    std::optional<std::size_t> logged;
  };
  const std::vector<Case> cases = {
      {"10.0.0.1", 0s, 0},  {"10.0.0.1", 1s, std::nullopt},
      {"10.0.0.2", 2s, 0},  {"10.0.0.1", 59s, std::nullopt},
      {"10.0.0.1", 60s, 2}, {"10.0.0.1", 61s, std::nullopt},
      {"10.0.0.2", 62s, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(refusals.Refused(c.peer, t + c.at), c.logged)
        << c.peer << " at " << std::chrono::duration_cast<std::chrono::seconds>(c.at).count();
  }
}

}  // namespace
}  // namespace serve

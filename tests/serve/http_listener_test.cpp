// The HTTP port as peers meet it, in this process over loopback, with short limits.
#include "serve/http_listener.h"

#include <gtest/gtest.h>

#include <asio/executor_work_guard.hpp>
#include <asio/read.hpp>
#include <asio/write.hpp>
#include <mutex>
#include <thread>

namespace serve {
namespace {

using namespace std::chrono_literals;

constexpr std::string_view kAnswer = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
// An answer to a POST, larger than the sockets hold, so that its end is still on its way
// when the port has written it.
const std::string kLargeAnswer(4 << 20, 'c');

// Texts noted from the listener's thread and read from the test's.
class Notes {
 public:
  void Add(std::string text) {
    std::lock_guard lock(mutex_);
    texts_.push_back(std::move(text));
  }
  std::vector<std::string> All() {
    std::lock_guard lock(mutex_);
    return texts_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> texts_;
};

// A listener on a thread of its own that answers every request head alike.
class Port {
 public:
  explicit Port(AllowList allow = {}, HttpLimits limits = {})
      : listener_(
            io_, {asio::ip::make_address("127.0.0.1"), 0}, std::move(allow), limits,
            [this](std::string_view head) {
              heads.Add(std::string(head));
              return head.starts_with("POST") ? kLargeAnswer : std::string(kAnswer);
            },
            [this](const auto&, const auto&, const std::string& why) { refusals.Add(why); }),
        thread_([this] { io_.run(); }) {}
  ~Port() {
    io_.stop();
    thread_.join();
  }

  asio::ip::tcp::socket Connect() {
    const std::string name = listener_.Name();
    asio::ip::tcp::socket socket(client_io_);
    socket.connect({asio::ip::make_address("127.0.0.1"),
                    static_cast<unsigned short>(std::stoi(name.substr(name.rfind(':') + 1)))});
    return socket;
  }
  // Sends bytes and reads until the port closes the connection.
  static std::string Exchange(asio::ip::tcp::socket& socket, const std::string& bytes) {
    std::error_code error;
    asio::write(socket, asio::buffer(bytes), error);
    std::string got;
    char chunk[4096];
    for (std::size_t n = 0; !error; got.append(chunk, n)) {
      n = socket.read_some(asio::buffer(chunk), error);
    }
    return got;
  }

  Notes heads, refusals;

 private:
  asio::io_context io_;
  asio::executor_work_guard<asio::io_context::executor_type> work_ = asio::make_work_guard(io_);
  asio::io_context client_io_;
  HttpListener listener_;
  std::thread thread_;
};

TEST(HttpListener, AnswersOnlyThePeersTheAllowListAdmits) {
  AllowList elsewhere;
  elsewhere.Add("10.0.0.0/8");
  for (const bool admitted : {true, false}) {
    Port port(admitted ? AllowList{} : elsewhere);  // empty: loopback only
    auto socket = port.Connect();
    EXPECT_EQ(Port::Exchange(socket, "GET / HTTP/1.1\r\n\r\n"), admitted ? kAnswer : "");
    EXPECT_EQ(port.refusals.All(), admitted ? std::vector<std::string>{}
                                        : std::vector<std::string>{"not allowed"});
  }
}

TEST(HttpListener, FiftySlowClientsLeaveRoomForAnother) {
  Port port;
  std::vector<asio::ip::tcp::socket> slow;
  for (int i = 0; i < 50; ++i) {
    slow.push_back(port.Connect());
    asio::write(slow.back(), asio::buffer(std::string("GET / HTTP/1.1\r\nHost: slo")));
  }
  auto socket = port.Connect();
  EXPECT_EQ(Port::Exchange(socket, "GET /status.json HTTP/1.1\r\n\r\n"), kAnswer);
  EXPECT_EQ(port.heads.All().size(), 1U);
}

TEST(HttpListener, HoldsConnectionsAndTheirTimeWithinLimits) {
  Port port({}, {2, 400ms});
  auto first = port.Connect();
  auto second = port.Connect();
  std::this_thread::sleep_for(50ms);
  auto third = port.Connect();  // refused: two are open
  EXPECT_EQ(Port::Exchange(third, "GET / HTTP/1.1\r\n\r\n"), "");
  EXPECT_EQ(port.refusals.All(), std::vector<std::string>{"2 connections open on this port"});
  // The first finishes in time; the second drips past the deadline and is closed unanswered.
  EXPECT_EQ(Port::Exchange(first, "GET / HTTP/1.1\r\n\r\n"), kAnswer);
  std::error_code error;
  const auto end = std::chrono::steady_clock::now() + 2s;
  while (!error && std::chrono::steady_clock::now() < end) {
    asio::write(second, asio::buffer("x", 1), error);
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_TRUE(error) << "the dripping client was never closed";
  EXPECT_EQ(port.heads.All().size(), 1U);
}

TEST(HttpListener, TakesAHeadOfUpTo8KiBAndPassesOverWhatFollowsIt) {
  const std::string line = "POST / HTTP/1.1\r\nX: ";
  const auto head_of = [&](std::size_t size) {
    return line + std::string(size - line.size() - 4, 'a') + "\r\n\r\n";
  };
  Port port;
  auto largest = port.Connect();
  // The body after the head is not read, and does not cut the answer short.
  EXPECT_EQ(Port::Exchange(largest, head_of(kMaxHttpRequest) + std::string(100000, 'b')).size(),
            kLargeAnswer.size());
  auto larger = port.Connect();
  EXPECT_EQ(Port::Exchange(larger, head_of(kMaxHttpRequest + 1)).substr(0, 13), "HTTP/1.1 431 ");
  ASSERT_EQ(port.heads.All().size(), 1U);
  EXPECT_EQ(port.heads.All()[0], head_of(kMaxHttpRequest));
}

}  // namespace
}  // namespace serve

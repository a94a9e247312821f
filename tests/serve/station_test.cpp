#include "serve/station.h"

#include <gtest/gtest.h>

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <sstream>

#include "serve/send_budget.h"

namespace serve {
namespace {

using namespace std::chrono_literals;

TEST(SendStartTime, AChangeGoesOutAtOnceAndAStreamNeverHoldsItBack) {
  const std::chrono::steady_clock::time_point t{100s};
  struct Case {
    std::chrono::milliseconds last;  // after the first change
    std::optional<std::chrono::milliseconds> throttle_free;
    std::chrono::milliseconds start;
  };
  const std::vector<Case> cases = {
      {0ms, std::nullopt, kCoalesceWindow},  // one change while idle
      {30ms, std::nullopt, kCoalesceLimit},  // a stream of them
      {0ms, 1500ms, 1500ms},                 // the throttle decides
  };
  for (const Case& c : cases) {
    const auto throttle = c.throttle_free ? std::optional(t + *c.throttle_free) : std::nullopt;
    EXPECT_EQ(SendStartTime(t, t + c.last, throttle), t + c.start) << c.last.count();
  }
  EXPECT_LE(kCoalesceLimit, 50ms) << "an idle change starts its send within 50 ms";
}

TEST(SendBudget, HoldsSendsToTheLimitInAnyHour) {
  SendBudget budget(3);
  const SendBudget::Clock::time_point t{};
  struct Case {
    std::chrono::minutes at;
    bool sends;  // when allowed, a send starts then
    std::optional<std::chrono::minutes> free;
    std::size_t in_last_hour;
  };
  const std::vector<Case> cases = {
      {0min, true, std::nullopt, 0},  {10min, true, std::nullopt, 1},
      {20min, true, std::nullopt, 2}, {30min, false, 60min, 3},
      {60min, true, std::nullopt, 2},  // the first is an hour old
      {61min, false, 70min, 3},       {130min, false, std::nullopt, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(budget.InLastHour(t + c.at), c.in_last_hour) << c.at.count();
    const auto free = budget.NextFree(t + c.at);
    EXPECT_EQ(free, c.free ? std::optional(t + *c.free) : std::nullopt) << c.at.count();
    if (c.sends && !free) budget.Sent(t + c.at);
  }
  SendBudget unlimited(0);
  for (int i = 0; i < 1000; ++i) unlimited.Sent(t);
  EXPECT_EQ(unlimited.NextFree(t), std::nullopt);
}

// The station with a dry run's sends (2.6 s each, recorded only) and its log as text.
class StationRun : public ::testing::Test {
 protected:
  void RunUntil(const std::function<bool()>& done) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!done() && std::chrono::steady_clock::now() < end) {
      io_.restart();  // a send's end is posted from the worker's thread
      io_.run_for(10ms);
    }
  }
  std::string Log() {
    log_.reset();  // writes what waits
    return out_.str();
  }

  asio::io_context io_;
  std::ostringstream out_;
  std::optional<ServeLog> log_{std::in_place, out_};
  SendWorker worker_{cmdline::SendTarget{}};  // no port: recorded only
  ServeStation station_{io_, {}, {}, worker_, *log_};
};

TEST_F(StationRun, AChangeWaitingWhenStopComesIsSentBeforeTheEnd) {
  rds::StationSettings next = station_.Settings();
  next.ps = "STOP";
  station_.Change(next, "PS", [](const auto&) {});
  bool stopped = false;
  station_.Stop([&stopped](bool) { stopped = true; });
  RunUntil([&stopped] { return stopped; });
  const std::string log = Log();
  EXPECT_NE(log.find(" send changes=PS "), std::string::npos) << log;
  EXPECT_EQ(log.find("not sent"), std::string::npos) << log;
  const StationStatus status = station_.Report();
  EXPECT_EQ(status.sends, 1U);
  EXPECT_EQ(status.failed_sends, 0U);
  EXPECT_EQ(status.sent.value_or(rds::StationSettings{}).ps, "STOP");
  EXPECT_TRUE(status.last_ok_send);
  EXPECT_FALSE(status.changes_pending);
  EXPECT_EQ(status.send, SendResult::kOk);
}

// Changes 10 ms apart for 400 ms, PTY first and TP from 200 ms on: the first send starts
// within the limit after the first change, not once the stream has ended.
TEST_F(StationRun, AStreamOfChangesDoesNotHoldTheSendBack) {
  asio::steady_timer tick(io_);
  const auto start = std::chrono::steady_clock::now();
  int count = 0;
  std::function<void()> change = [&] {
    rds::StationSettings next = station_.Settings();
    next.pty = count % 32;
    station_.Change(next, count < 20 ? "PTY" : "TP", [](const auto&) {});
    if (++count == 40) return;
    tick.expires_at(start + count * 10ms);
    tick.async_wait([&change](const std::error_code&) { change(); });
  };
  change();
  RunUntil([this] { return station_.Status().rfind("STATUS none", 0) != 0; });
  const std::string log = Log();
  EXPECT_NE(log.find(" send changes=PTY "), std::string::npos) << log;
}

}  // namespace
}  // namespace serve

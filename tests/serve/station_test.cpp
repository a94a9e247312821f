#include "serve/station.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace serve

#include "serve/station.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace serve

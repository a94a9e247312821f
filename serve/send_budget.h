#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <optional>

namespace serve {

// Each send reloads the encoder's memory: at most so many sends in any hour.
constexpr std::size_t kDefaultSendsPerHour = 120;

// The sends of the last hour, against a limit (0: none). Times are given, so that a test
// can script them.
class SendBudget {
 public:
  using Clock = std::chrono::steady_clock;

  explicit SendBudget(std::size_t per_hour) : per_hour_(per_hour) {}

  void Sent(Clock::time_point at);
  // The sends that started within the hour before now.
  std::size_t InLastHour(Clock::time_point now) const;
  // nullopt when a send may start now; else when the next one may.
  std::optional<Clock::time_point> NextFree(Clock::time_point now) const;
  std::size_t PerHour() const { return per_hour_; }

 private:
  std::size_t per_hour_;
  std::deque<Clock::time_point> sends_;
};

}  // namespace serve

#include "serve/send_budget.h"

#include <algorithm>

namespace serve {

void SendBudget::Sent(Clock::time_point at) {
  sends_.push_back(at);
  while (at - sends_.front() >= std::chrono::hours{1}) sends_.pop_front();
}

std::size_t SendBudget::InLastHour(Clock::time_point now) const {
  return static_cast<std::size_t>(std::count_if(
      sends_.begin(), sends_.end(), [&](auto at) { return now - at < std::chrono::hours{1}; }));
}

std::optional<SendBudget::Clock::time_point> SendBudget::NextFree(Clock::time_point now) const {
  const std::size_t sent = InLastHour(now);
  if (per_hour_ == 0 || sent < per_hour_) return std::nullopt;
  // Free again when the send that keeps the count at the limit is an hour old.
  return sends_[sends_.size() - per_hour_] + std::chrono::hours{1};
}

}  // namespace serve

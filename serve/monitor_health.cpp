#include "serve/monitor_health.h"

#include <algorithm>

namespace serve {

RestartPauses::Restart RestartPauses::Ended(std::chrono::steady_clock::duration ran_for) {
  if (ran_for >= kMonitorGoodRun) {
    pause_ = std::chrono::seconds{0};
    ends_ = 0;
  }
  ++ends_;
  const std::chrono::seconds next =
      ends_ == 1 ? kMonitorFirstPause : std::min(pause_ * 2, kMonitorLongestPause);
  const bool changed = next != pause_;
  pause_ = next;
  return {pause_, ends_, changed};
}

SampleWatch::Change SampleWatch::Check(std::chrono::steady_clock::time_point last_sample,
                                       std::chrono::steady_clock::time_point now) {
  const bool silent = now - last_sample >= kMonitorSilence;
  if (silent == silent_) return Change::kNone;
  silent_ = silent;
  return silent ? Change::kSilent : Change::kBack;
}

}  // namespace serve

#pragma once

#include <chrono>
#include <cstddef>

namespace serve {

// A monitor command that ends is started again after a pause: 2 s after its first end,
// doubling with each end that follows up to 5 minutes, so that a command that cannot run
// (a typo, a program not installed) neither spins nor fills the log. A run of a minute
// counts as a good one and starts the pauses over.
constexpr std::chrono::seconds kMonitorFirstPause{2};
constexpr std::chrono::seconds kMonitorLongestPause{300};
constexpr std::chrono::seconds kMonitorGoodRun{60};

// A monitor whose command writes no samples for this long gives no verdict (no-signal).
constexpr std::chrono::seconds kMonitorSilence{10};

class RestartPauses {
 public:
  struct Restart {
    std::chrono::seconds pause;
    std::size_t ends;  // in a row since the last good run, this one included
    bool log;          // the first of them, or the pause has changed
  };

  // The command has ended after running for ran_for.
  Restart Ended(std::chrono::steady_clock::duration ran_for);

 private:
  std::chrono::seconds pause_{0};
  std::size_t ends_ = 0;
};

// Whether the monitor's command still delivers samples.
class SampleWatch {
 public:
  enum class Change { kNone, kSilent, kBack };

  // last_sample: when the command last wrote (or the monitor started). Tells each change
  // once.
  Change Check(std::chrono::steady_clock::time_point last_sample,
               std::chrono::steady_clock::time_point now);
  bool Silent() const { return silent_; }

 private:
  bool silent_ = false;
};

}  // namespace serve

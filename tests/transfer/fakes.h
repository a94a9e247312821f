#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "transfer/line_driver.h"
#include "transfer/pacer.h"
#include "transfer/send_view.h"
#include "transfer/time_of_day.h"

namespace transfer::testing {

using namespace std::chrono_literals;

// Everything the fakes see, in one log, in order.
using Log = std::vector<std::string>;

// Simulated monotonic time: a wait jumps to its deadline; line operations may cost time.
class FakePacer final : public Pacer {
 public:
  explicit FakePacer(Log* log = nullptr) : log_(log) {}
  Clock::time_point Now() override { return now_; }
  void WaitUntil(Clock::time_point deadline) override {
    if (log_) {
      const auto us = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now_);
      log_->push_back("wait " + std::to_string(us.count()));
    }
    ++waits_;
    if (deadline > now_) now_ = deadline;
  }
  void Advance(Clock::duration d) { now_ += d; }
  int waits() const { return waits_; }

 private:
  Log* log_;
  Clock::time_point now_{std::chrono::seconds(1000)};
  int waits_ = 0;
};

class FakeTimeOfDay final : public TimeOfDayClock {
 public:
  explicit FakeTimeOfDay(TimeOfDay now) : now_(now) {}
  TimeOfDay Now() override { return now_; }
  void Set(TimeOfDay now) { now_ = now; }

 private:
  TimeOfDay now_;
};

constexpr TimeOfDay At(int h, int m, int s, int ms = 0) {
  return std::chrono::hours(h) + std::chrono::minutes(m) + std::chrono::seconds(s) +
         std::chrono::milliseconds(ms);
}

class LineError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Logs "reset", "high B", "low B"; throws LineError at operation number fail_at (0-based).
class FakeLineDriver final : public LineDriver {
 public:
  FakeLineDriver(Log& log, int fail_at = -1) : log_(log), fail_at_(fail_at) {}
  void ResetLines() override { Op("reset"); }
  void ClockHigh(rds::BitCell bit) override { Op("high " + std::to_string(bit)); }
  void ClockLow(rds::BitCell bit) override { Op("low " + std::to_string(bit)); }

 private:
  void Op(const std::string& what) {
    if (ops_++ == fail_at_) throw LineError("Error calling comm function (5), Access denied");
    log_.push_back(what);
  }
  Log& log_;
  int fail_at_;
  int ops_ = 0;
};

// Holds the controls' values; applies write-backs as the window would.
class FakeView final : public SendView {
 public:
  explicit FakeView(Log& log) : log_(log) {}

  rds::StationSettings ReadSettings() override {
    log_.push_back("read");
    return settings;
  }
  void WriteBackTexts(const std::string& pi, const rds::AfTexts& af) override {
    log_.push_back("write back " + pi);
    settings.pi = pi;
    settings.af = af;
  }
  void ProcessPendingMessages() override {
    log_.push_back("messages");
    if (on_messages) on_messages();
  }
  void SetProgress(int position) override {
    log_.push_back("progress " + std::to_string(position));
    progress = position;
    if (on_progress) on_progress(position);
  }
  void SetBusyCursor(bool on) override {
    log_.push_back(on ? "cursor busy" : "cursor default");
    busy = on;
  }
  void ShowLastSent(const LastSentRecord& record) override {
    log_.push_back("show");
    shown = record;
  }

  rds::StationSettings settings;
  int progress = 0;
  bool busy = false;
  LastSentRecord shown{};
  std::function<void()> on_messages;
  std::function<void(int)> on_progress;

 private:
  Log& log_;
};

}  // namespace transfer::testing

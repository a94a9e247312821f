#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "transfer/line_driver.h"
#include "transfer/pacer.h"
#include "transfer/send_view.h"
#include "transfer/time_of_day.h"
#include "transfer/zlportio.h"

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

// Records every call; answers as a system with or without the kernel driver.
struct FakePortSystem : PortSystem {
  bool needs_driver = true;
  bool device_present = false;  // the driver's service runs and its device exists
  bool held_elsewhere = false;  // another process has the (exclusive) device open
  DriverFile driver_file = DriverFile::kMissing;
  bool driver_starts = true;
  bool service_exists = false;  // an entry in the service database, running or not
  bool grants_direct = true;
  std::string folder = "C:\\Program Files\\Encoder\\";
  std::string real_folder = "C:\\Program Files\\Encoder";  // the folder, links resolved
  std::vector<std::string> calls;
  std::vector<std::vector<std::uint8_t>> requests;
  std::vector<std::string> outs;

  bool NeedsPortDriver() override { return needs_driver; }
  std::string ExecutableFolder() override { return folder; }
  std::uint32_t OpenDevice() override {
    calls.push_back("open");
    if (!device_present) return 2;
    return held_elsewhere ? 5 : 0;
  }
  std::uint32_t CreatePortService(const std::string& path, const std::string& name) override {
    calls.push_back("create " + name + " " + path);
    service_exists = true;
    return 0;
  }
  std::uint32_t StartPortService(const std::string& name) override {
    calls.push_back("start " + name);
    if (driver_file != DriverFile::kSafe || !driver_starts) return 2;
    device_present = true;
    return 0;
  }
  std::uint32_t StopPortService(const std::string& name) override {
    calls.push_back("stop " + name);
    device_present = false;
    return 0;
  }
  std::uint32_t DeletePortService(const std::string& name) override {
    calls.push_back("delete " + name);
    service_exists = false;
    return 0;
  }
  DriverFileCheck CheckDriverFile(const std::string& path) override {
    calls.push_back("check " + path);
    return {driver_file, real_folder + "\\zlportio.sys"};
  }
  bool PortServiceRunning(const std::string&) override { return device_present; }
  bool DeviceControl(std::uint32_t code, std::span<const std::uint8_t> input) override {
    char text[16];
    std::snprintf(text, sizeof text, "ioctl %08X", code);
    calls.push_back(text);
    if (code == kWritePortCode) requests.emplace_back(input.begin(), input.end());
    return code != kEnableDirectCode || grants_direct;
  }
  void PortOut(std::uint16_t port, std::uint32_t width, std::uint32_t value) override {
    char text[32];
    std::snprintf(text, sizeof text, "%X/%u=%X", port, width, value);
    outs.push_back(text);
  }
  bool PortReachable(std::uint16_t, bool direct) override { return direct || device_present; }
  std::string PortAccessHint(std::uint16_t) override { return "Check the driver."; }
  std::shared_ptr<void> HoldPort(std::uint16_t, bool) override { return nullptr; }
};

}  // namespace transfer::testing

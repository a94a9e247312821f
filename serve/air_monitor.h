#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "rds/station.h"
#include "receiver/air_guard.h"
#include "receiver/level_meter.h"
#include "serve/log.h"
#include "serve/monitor_health.h"
#include "serve/reception_watch.h"

namespace serve {

// How long a send has to show on air, and how long a change on air that no send made must
// hold before it counts.
constexpr std::chrono::seconds kConfirmTimeout{20};
constexpr std::chrono::seconds kChangeGrace{5};

// The levels as last measured, and when.
struct TakenLevels {
  receiver::Levels levels;
  std::chrono::system_clock::time_point taken;
};

// Runs the monitor command for as long as serve runs (started again whenever it ends, after
// the pauses of RestartPauses), decodes the station's RDS from its output and keeps an
// AirGuard: every event goes to on_event, and the levels every 10 s to on_levels, from the
// monitor's own thread. When the command writes nothing for kMonitorSilence,
// on_samples(false) says so and the guard gives no verdict until samples come again
// (on_samples(true)); then the last send is checked anew. Each second of signal,
// on_reception has what the decoder's counts say of reception (ReceptionMeasurements).
class AirMonitor {
 public:
  using Event = std::function<void(receiver::AirEvent, std::vector<receiver::FieldDifference>)>;
  using Samples = std::function<void(bool present)>;
  using LevelsEvent = std::function<void(const TakenLevels&)>;
  using ReceptionEvent = std::function<void(std::vector<Measurement>)>;

  AirMonitor(std::string command, std::chrono::milliseconds confirm_timeout, ServeLog& log,
             Event on_event, Samples on_samples, receiver::MeterOptions meter = {},
             LevelsEvent on_levels = nullptr, ReceptionEvent on_reception = nullptr);
  ~AirMonitor();  // stops the command
  AirMonitor(const AirMonitor&) = delete;
  AirMonitor& operator=(const AirMonitor&) = delete;

  // A send of settings has just ended.
  void Sent(const rds::StationSettings& settings);

  // The latest levels, from any thread; none before the first 10 s of signal.
  std::optional<TakenLevels> Levels() const;

 private:
  void Run();
  void Watch();
  void Deliver(receiver::AirEvent event);
  void TakeLevels(const receiver::Levels& measured);

  std::string command_;
  ServeLog& log_;
  Event on_event_;
  Samples on_samples_;
  receiver::MeterOptions meter_;
  LevelsEvent on_levels_;
  ReceptionEvent on_reception_;
  ReceptionWatch reception_;  // the reader's alone
  mutable std::mutex mutex_;
  receiver::AirGuard guard_;
  std::optional<rds::StationSettings> last_sent_;
  std::optional<TakenLevels> levels_;
  // When the command last wrote, as a count of the steady clock.
  std::atomic<std::chrono::steady_clock::rep> last_sample_;
  SampleWatch samples_;  // the ticker's alone
  std::atomic<bool> quit_{false};
  std::mutex child_mutex_;
  std::function<void()> stop_child_;
  std::thread reader_;
  std::thread ticker_;
};

}  // namespace serve

#pragma once

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "appcore/settings_file.h"
#include "receiver/air_guard.h"
#include "receiver/level_limits.h"
#include "serve/log.h"
#include "serve/send_budget.h"
#include "serve/send_worker.h"
#include "serve/settings_saver.h"
#include "serve/station_alarms.h"
#include "serve/station_control.h"
#include "serve/station_status.h"
#include "transfer/time_of_day.h"

namespace serve {

// Changes this close together go out in one send.
constexpr std::chrono::milliseconds kCoalesceWindow{20};
// A stream of changes never holds a send back longer than this after its first change.
constexpr std::chrono::milliseconds kCoalesceLimit{40};
// No send starts sooner than this after the previous one ended (the window's throttle).
constexpr std::chrono::seconds kSendThrottle{2};
// A failed send is tried again, with the state as it is then, after this long.
constexpr std::chrono::seconds kRetryDelay{5};

// When a send of waiting changes starts: kCoalesceWindow after the last change, but no later
// than kCoalesceLimit after the first, and not before the throttle allows one.
std::chrono::steady_clock::time_point SendStartTime(
    std::chrono::steady_clock::time_point first_change,
    std::chrono::steady_clock::time_point last_change,
    std::optional<std::chrono::steady_clock::time_point> throttle_free);

struct ServeStationOptions {
  std::optional<std::filesystem::path> settings_file;     // saved on every change and send
  std::chrono::seconds ta_timeout{0};                     // 0: TA stays as set
  std::size_t max_sends_per_hour = kDefaultSendsPerHour;  // 0: no limit
  // After this long without a change from a client, PS, PTY and TA go back to those of
  // fallback (default: the state serve started with); 0: never.
  std::chrono::seconds fallback_after{0};
  std::optional<rds::StationSettings> fallback;
  std::optional<std::string> call_letters;  // the PI is checked against them
  receiver::LevelLimits level_limits;  // what the monitor's levels are judged against
};

// The one station state of serve and its sends, on the network thread: every accepted
// change is saved (off this thread) and asks for a send; changes made close together or
// while a send runs go out together; no send starts sooner than the throttle allows after
// the previous one, and none is interrupted.
class ServeStation final : public StationControl {
 public:
  using Clock = std::chrono::steady_clock;

  ServeStation(asio::io_context& io, app::SettingsValues start, ServeStationOptions options,
               SendWorker& worker, ServeLog& log);

  const rds::StationSettings& Settings() const override { return values_.station; }
  void Change(const rds::StationSettings& next, const std::string& fields,
              SaveReport saved) override;
  void RequestSend() override;
  std::string Status() const override;
  std::optional<std::string> CallLetters() const override { return options_.call_letters; }

  std::string TestAlarm() override;

  // Sends and verdicts go to alarms from now on; STATUS lists its conditions.
  void UseAlarms(StationAlarms& alarms) { alarms_ = &alarms; }

  // What STATUS says and what the status page and the metrics add to it.
  StationStatus Report() const;

  // At start: sends the state when it came from a settings file (saved) and is not what the
  // file's Last-sent record says went out (changes a stop or a crash kept from the encoder),
  // or when the encoder's port is missing (port_problem), in which case the send is retried
  // until the port is there.
  void Start(bool saved, const std::optional<std::string>& port_problem);

  // What is on air, as the monitor found it after a send or between sends: a first mismatch
  // (or a change on air no send made) sends the state once more; a second raises the alarm,
  // and nothing more is sent for it until the next change.
  void OnAir(receiver::AirEvent event, const std::vector<receiver::FieldDifference>& differences);
  // The monitor's levels, taken at taken: shown in STATUS, and those outside their limits
  // logged when they change.
  void OnLevels(const receiver::Levels& levels, std::chrono::system_clock::time_point taken);
  // Called with the settings of each send that went out.
  void OnSent(std::function<void(const rds::StationSettings&)> sent) { on_sent_ = std::move(sent); }
  // The monitor's command has stopped delivering samples (present false), or delivers them
  // again. Without them nothing is known of the air: ONAIR=no-signal, through any send, and
  // monitor-failed is measured.
  void OnMonitorSamples(bool present);
  // What the monitor's decoder says of reception (rds-lost, pilot-lost, poor-reception).
  void OnReception(const std::vector<Measurement>& measurements);

  // Takes no further change; lets a running send finish, sends the changes still waiting
  // (one more send at most), saves, then calls done: saved is false when that last save
  // failed.
  void Stop(std::function<void(bool saved)> done);

 private:
  void Apply(const rds::StationSettings& next, const std::string& fields, SaveReport saved);
  void LogWarnings(const rds::StationSettings& settings, const std::string& fields);
  void Report(std::uint64_t number, SaveReport saved);
  void ArmFallback();
  void Schedule(bool now);
  void TryStart();
  void Finished(const SendOutcome& outcome);
  void TakeAir(receiver::AirEvent event, const std::vector<receiver::FieldDifference>& differences);
  std::uint64_t Save();
  void Saved(std::uint64_t number, const std::optional<std::string>& failure);
  void ArmTaTimeout();
  void EndStop();

  asio::io_context& io_;
  app::SettingsValues values_;
  ServeStationOptions options_;
  SendWorker& worker_;
  ServeLog& log_;
  asio::steady_timer send_timer_;
  asio::steady_timer ta_timer_;
  asio::steady_timer fallback_timer_;
  rds::StationSettings fallback_;
  std::optional<std::chrono::system_clock::time_point> fallback_since_;
  transfer::SystemTimeOfDayClock clock_;
  std::unique_ptr<SettingsSaver> saver_;
  std::optional<std::string> save_failure_;
  // Changes whose answer waits for the save with this number (or a later one).
  std::deque<std::pair<std::uint64_t, SaveReport>> save_reports_;
  bool ended_ = false;

  std::string pending_fields_;
  bool pending_ = false;
  std::chrono::steady_clock::time_point first_pending_{};
  std::chrono::steady_clock::time_point last_change_{};

  bool sending_ = false;
  bool retrying_ = false;
  bool stopping_ = false;
  std::string sent_fields_;
  std::chrono::steady_clock::time_point sent_first_{};
  std::chrono::steady_clock::time_point sent_start_{};
  rds::StationSettings sent_;
  std::optional<transfer::TimeOfDay> last_send_end_;
  std::optional<std::chrono::steady_clock::time_point> throttle_free_;
  SendResult send_result_ = SendResult::kNone;
  std::chrono::system_clock::time_point send_time_{};
  std::string send_text_;
  std::optional<rds::StationSettings> last_ok_;  // what the last send that went out carried
  std::uint64_t sends_ = 0;
  std::uint64_t failed_sends_ = 0;
  std::optional<std::chrono::system_clock::time_point> last_ok_send_;
  std::optional<std::chrono::system_clock::time_point> last_confirmed_;
  SendBudget budget_;
  std::optional<Clock::time_point> budget_wait_;  // changes wait for the budget until then
  std::function<void(bool)> stopped_;
  std::function<void(const rds::StationSettings&)> on_sent_;
  StationAlarms* alarms_ = nullptr;
  std::optional<receiver::Levels> levels_;  // the monitor's, once measured
  std::optional<std::chrono::system_clock::time_point> levels_time_;
  std::string level_faults_;
  AirVerdict air_ = AirVerdict::kNotMonitored;
  std::optional<std::chrono::system_clock::time_point> air_time_;
  std::vector<receiver::FieldDifference> air_differences_;
  bool resent_ = false;  // the one resend since the last change has been made
  bool alarm_ = false;
  bool monitor_silent_ = false;
  bool monitored_send_ = false;  // a send has gone out for the monitor to check
};

}  // namespace serve

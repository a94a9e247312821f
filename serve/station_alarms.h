#pragma once

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "serve/alarm_conditions.h"
#include "serve/alarm_delivery.h"
#include "serve/history_file.h"
#include "serve/log.h"
#include "transfer/last_sent_record.h"

namespace serve {

struct AlarmOptions {
  AlarmDelays delays;
  std::vector<std::string> commands;  // --alarm-command, each run for every event
  std::chrono::seconds heartbeat{0};  // 0: no heartbeat
  std::optional<std::filesystem::path> history;
  std::string instance;                // the name events carry
  std::optional<std::string> service;  // the Windows service serve runs as
  bool system_log = true;              // alarms and recoveries in the system's log too
  DeliveryOptions delivery;
};

// The alarm side of serve, on the network thread: the conditions with their delays, the
// events they raise and where those go (the commands, the system's log, serve's log), the
// heartbeat, and the history file.
class StationAlarms {
 public:
  StationAlarms(asio::io_context& io, AlarmOptions options, ServeLog& log);
  ~StationAlarms();
  StationAlarms(const StationAlarms&) = delete;
  StationAlarms& operator=(const StationAlarms&) = delete;

  // serve runs (with a monitor or not): the start event and record, the heartbeat.
  void Start(bool monitored);
  // serve stops: the stop record; timers end.
  void Stop();

  // A measurement of one condition (see AlarmConditions).
  void Observe(Condition condition, std::optional<Fault> fault);
  void Unknown(Condition condition);
  void Measure(const std::vector<Measurement>& measurements);
  // ALARMTEST: a test event for every command; false when there is none.
  bool Test();

  // The raised conditions, each with when its fault began.
  std::vector<ActiveCondition> Active() const { return conditions_.Active(); }
  // " CONDITIONS=mismatch,send-failed" for STATUS; empty while none is raised.
  std::string StatusText() const;

  // A send ended: its record in the history, and send-failed measured.
  void SendEnded(bool ok, const std::string& changes, const transfer::LastSentRecord& values,
                 std::chrono::steady_clock::duration took, const std::string& text);
  // What the monitor says now ("confirmed", "mismatch", "no-rds", …): recorded when it changes.
  void Verdict(const std::string& verdict, const std::vector<FieldValues>& fields = {});

 private:
  void Handle(const std::vector<ConditionChange>& changes);
  void Raise(const AlarmEvent& event);
  void ArmTick();
  void ArmHeartbeat();
  std::vector<Condition> ActiveNames() const;

  AlarmOptions options_;
  ServeLog& log_;
  AlarmConditions conditions_;
  std::optional<HistoryFile> history_;
  std::unique_ptr<AlarmDelivery> delivery_;
  asio::steady_timer tick_;
  asio::steady_timer heartbeat_;
  std::string verdict_;
  bool stopped_ = false;
};

}  // namespace serve

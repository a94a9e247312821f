#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include <vector>

#include "rds/station.h"
#include "receiver/air_check.h"
#include "receiver/level_meter.h"

namespace serve {

enum class SendResult { kNone, kOk, kFailed };

// The monitor's verdict on what is on air: kNotMonitored without a monitor command.
// kWeak: what came matches, but some fields never came with evidence; kNoSignal: the monitor
// command writes no samples.
enum class AirVerdict {
  kNotMonitored,
  kChecking,
  kConfirmed,
  kMismatch,
  kWeak,
  kNoRds,
  kNoSignal
};

// What serve knows of its station at one moment: everything STATUS says, and the state,
// counts and times that the status page and the metrics show beside it. One snapshot, made
// on the network thread, so that every view of it agrees.
struct StationStatus {
  using Time = std::chrono::system_clock::time_point;

  rds::StationSettings state;                // as it is now, sent or not
  std::optional<rds::StationSettings> sent;  // what the last send that went out carried
  bool changes_pending = false;              // changes that no send has carried yet

  SendResult send = SendResult::kNone;  // the last send's result
  Time send_time{};
  std::string send_text;  // its summary, or why it failed
  std::size_t sends_last_hour = 0;
  std::size_t sends_per_hour = 0;  // 0: no limit
  std::optional<Time> changes_wait_until;  // the send budget holds changes back until then

  AirVerdict air = AirVerdict::kNotMonitored;
  std::optional<Time> air_time;  // when the verdict was reached
  std::vector<receiver::FieldDifference> air_differences;  // for a mismatch or a weak signal
  std::optional<receiver::Levels> levels;  // the monitor's, once measured
  std::optional<Time> levels_time;
  bool alarm = false;
  std::vector<std::string> conditions;  // the alarm conditions raised ("mismatch", …)

  std::optional<Time> fallback_since;
  std::optional<std::string> save_failure;

  // Since serve started.
  std::uint64_t sends = 0;  // sends that went out
  std::uint64_t failed_sends = 0;
  std::optional<Time> last_ok_send;
  std::optional<Time> last_confirmed;
};

// Who answers: what the status page, the JSON and the metrics name beside the status.
struct ServeIdentity {
  std::string instance;             // serve's instance name
  std::optional<std::string> port;  // the encoder's port; nullopt for a dry run
  std::chrono::system_clock::time_point started;
  bool history = false;  // a history file is kept (--history)
};

// STATUS's answer, one line: "STATUS ok TIME SUMMARY sends_last_hour=3/120 ONAIR=confirmed
// 09:00:21", and what else holds: the budget's wait, an ALARM, a fallback, a failed save.
std::string StatusLine(const StationStatus& status);

// The levels as STATUS shows them: "LEVELS=pilot:6.75kHz,rds:3.40kHz,…,bler:0.0% HH:MM:SS".
std::string LevelsStatus(const receiver::Levels& levels,
                         std::chrono::system_clock::time_point taken);

// "confirmed", "no-rds", …: the verdict's name in STATUS, the JSON and the metrics.
const char* AirVerdictName(AirVerdict verdict);

}  // namespace serve

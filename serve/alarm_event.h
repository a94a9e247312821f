#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "serve/alarm_conditions.h"

namespace serve {

enum class EventKind : std::uint8_t { kStart, kAlarm, kRecovery, kHeartbeat, kTest };
const char* EventKindName(EventKind kind);  // "start", "alarm", …

// One event for the alarm commands and the system's log.
struct AlarmEvent {
  EventKind kind = EventKind::kTest;
  std::optional<Condition> condition;  // alarm and recovery
  std::chrono::system_clock::time_point time;
  Fault fault;
  std::optional<std::chrono::system_clock::time_point> since;  // when the fault began
  std::optional<std::chrono::milliseconds> lasted;             // recovery: how long it held
  std::vector<Condition> active;  // the conditions raised when the event was made
};

// The event of an alarm or a recovery.
AlarmEvent ChangeEvent(const ConditionChange& change, std::vector<Condition> active,
                       std::chrono::system_clock::time_point now);

// One line a person reads: "ALARM studio: PS on air 'ABCDEFGH', sent 'RADIO 1', since
// 14:03:12" (local time).
std::string EventSummary(const AlarmEvent& event, const std::string& instance);
// The event as one JSON object on one line (times in UTC, ISO 8601).
std::string EventJson(const AlarmEvent& event, const std::string& instance);
// RDSQ7_EVENT, RDSQ7_CONDITION, RDSQ7_INSTANCE and RDSQ7_SUMMARY.
std::vector<std::pair<std::string, std::string>> EventEnvironment(const AlarmEvent& event,
                                                                  const std::string& instance);

// "45s", "4m12s", "2h03m".
std::string DurationText(std::chrono::milliseconds duration);

}  // namespace serve

#include "serve/alarm_event.h"

#include <array>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

#include "serve/log.h"

namespace serve {
namespace {

constexpr std::array<const char*, 5> kKindNames = {"start", "alarm", "recovery", "heartbeat",
                                                   "test"};

// HH:MM:SS in the machine's own time zone: the time a person at the station reads.
std::string LocalClock(std::chrono::system_clock::time_point time) {
  const std::time_t t = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
#if defined(_WIN32)
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::string Detail(const AlarmEvent& event) {
  if (!event.fault.detail.empty()) return event.fault.detail;
  return event.condition ? ConditionName(*event.condition) : "";
}

std::string ActiveNames(const std::vector<Condition>& active) {
  std::string names;
  for (const Condition c : active)
    names += (names.empty() ? "" : ", ") + std::string(ConditionName(c));
  return names;
}

std::string SummaryLine(const AlarmEvent& event, const std::string& instance) {
  const std::string lead = instance + ": ";
  const std::string since = event.since ? ", since " + LocalClock(*event.since) : "";
  switch (event.kind) {
    case EventKind::kStart:
      return "START " + lead + "serve started";
    case EventKind::kAlarm:
      return "ALARM " + lead + Detail(event) + since;
    case EventKind::kRecovery:
      return "RECOVERY " + lead + (event.condition ? ConditionName(*event.condition) : "") +
             " over after " + DurationText(event.lasted.value_or(std::chrono::milliseconds(0))) +
             " (" + Detail(event) + since + ")";
    case EventKind::kHeartbeat:
      return "HEARTBEAT " + lead +
             (event.active.empty() ? "running, no alarm"
                                   : "running; alarms: " + ActiveNames(event.active));
    case EventKind::kTest:
      return "TEST " + lead + "a test of the alarm commands";
  }
  return "";
}

}  // namespace

const char* EventKindName(EventKind kind) {
  return kKindNames[static_cast<std::size_t>(kind)];
}

AlarmEvent ChangeEvent(const ConditionChange& change, std::vector<Condition> active,
                       std::chrono::system_clock::time_point now) {
  AlarmEvent event;
  event.kind = change.raised ? EventKind::kAlarm : EventKind::kRecovery;
  event.condition = change.condition;
  event.time = now;
  event.fault = change.fault;
  event.since = change.since.wall;
  if (change.ended) {
    event.lasted = std::chrono::duration_cast<std::chrono::milliseconds>(change.ended->steady -
                                                                         change.since.steady);
  }
  event.active = std::move(active);
  return event;
}

std::string DurationText(std::chrono::milliseconds duration) {
  const long long s = std::chrono::duration_cast<std::chrono::seconds>(duration).count();
  char text[32];
  if (s < 60) {
    std::snprintf(text, sizeof text, "%llds", s);
  } else if (s < 3600) {
    std::snprintf(text, sizeof text, "%lldm%02llds", s / 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%lldh%02lldm", s / 3600, s / 60 % 60);
  }
  return text;
}

std::string EventSummary(const AlarmEvent& event, const std::string& instance) {
  std::string summary = SummaryLine(event, instance);
  // One line, whatever a field on air holds.
  for (char& c : summary) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  }
  return summary;
}

std::string EventJson(const AlarmEvent& event, const std::string& instance) {
  nlohmann::ordered_json json;
  json["event"] = EventKindName(event.kind);
  json["condition"] = event.condition ? nlohmann::ordered_json(ConditionName(*event.condition))
                                      : nlohmann::ordered_json(nullptr);
  json["instance"] = instance;
  json["time"] = IsoTime(event.time);
  json["summary"] = EventSummary(event, instance);
  if (event.kind == EventKind::kAlarm || event.kind == EventKind::kRecovery) {
    json["detail"] = Detail(event);
    if (event.since) json["since"] = IsoTime(*event.since);
    if (event.lasted) json["duration_s"] = event.lasted->count() / 1000.0;
    if (!event.fault.fields.empty()) {
      json["fields"] = nlohmann::ordered_json::array();
      for (const FieldValues& f : event.fault.fields)
        json["fields"].push_back({{"field", f.field}, {"on_air", f.on_air}, {"sent", f.sent}});
    }
  }
  json["active"] = nlohmann::ordered_json::array();
  for (const Condition c : event.active) json["active"].push_back(ConditionName(c));
  // Texts from the air or a command's error may hold bytes that are no UTF-8.
  return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::vector<std::pair<std::string, std::string>> EventEnvironment(const AlarmEvent& event,
                                                                  const std::string& instance) {
  return {{"RDSQ7_EVENT", EventKindName(event.kind)},
          {"RDSQ7_CONDITION", event.condition ? ConditionName(*event.condition) : ""},
          {"RDSQ7_INSTANCE", instance},
          {"RDSQ7_SUMMARY", EventSummary(event, instance)}};
}

}  // namespace serve

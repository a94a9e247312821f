#include "serve/status_json.h"

#include <algorithm>
#include <sstream>

#include "cmdline/json_text.h"
#include "receiver/air_check.h"
#include "serve/alarm_conditions.h"
#include "serve/log.h"

namespace serve {
namespace {

using cmdline::JsonString;
using receiver::Field;

std::string TimeJson(const std::optional<StationStatus::Time>& time) {
  return time ? '"' + IsoTime(*time) + '"' : "null";
}

const char* Bool(bool value) {
  return value ? "true" : "false";
}

// The station as receivers show it: the fields decoded from the encoder image itself.
std::string StationJson(const rds::StationSettings& settings) {
  const receiver::AirFields f = receiver::FieldsOf(settings);
  std::ostringstream out;
  out << "{\"ps\":" << JsonString(receiver::FieldText(f, Field::kPs))
      << ",\"pi\":" << JsonString(receiver::FieldText(f, Field::kPi))
      << ",\"pty\":" << f.pty.value_or(0) << ",\"tp\":" << Bool(f.tp.value_or(false))
      << ",\"ta\":" << Bool(f.ta.value_or(false)) << ",\"ms\":" << Bool(f.ms.value_or(false));
  const auto di = f.di.value_or(std::array<bool, 4>{});
  out << ",\"di\":{\"stereo\":" << Bool(di[0]) << ",\"artificial_head\":" << Bool(di[1])
      << ",\"compressed\":" << Bool(di[2]) << ",\"dynamic_pty\":" << Bool(di[3]) << "},\"af\":[";
  const auto af = f.af.value_or(std::vector<int>{});
  for (std::size_t i = 0; i < af.size(); ++i) out << (i ? "," : "") << receiver::AfCodeMhz(af[i]);
  out << "]}";
  return out.str();
}

const char* SendResultName(SendResult result) {
  switch (result) {
    case SendResult::kNone:
      return "none";
    case SendResult::kOk:
      return "ok";
    case SendResult::kFailed:
      return "failed";
  }
  return "";
}

// The levels as the monitor last measured them; the deviations null while no scale is known.
std::string LevelsJson(const StationStatus& status) {
  if (!status.levels || !status.levels_time) return "null";
  const receiver::Levels& l = *status.levels;
  std::ostringstream out;
  out.imbue(std::locale::classic());
  const auto number = [&](const char* name, double value) {
    out << ",\"" << name << "\":";
    if (l.scaled) {
      out << value;
    } else {
      out << "null";
    }
  };
  out << "{\"time\":" << TimeJson(status.levels_time) << ",\"scaled\":" << Bool(l.scaled);
  number("pilot_khz", l.pilot_khz);
  number("rds_khz", l.rds_khz);
  number("peak_khz", l.peak_khz);
  number("over_khz", l.over_khz);
  number("over_percent", l.over_percent);
  number("mpx_power_dbr", l.mpx_power_dbr);
  out << ",\"block_errors_percent\":" << l.block_errors_percent << '}';
  return out.str();
}

}  // namespace

bool AlarmRaised(const StationStatus& status) {
  return status.alarm || !status.conditions.empty();
}

bool ConditionActive(const StationStatus& status, Condition condition) {
  return std::find(status.conditions.begin(), status.conditions.end(),
                   ConditionName(condition)) != status.conditions.end();
}

std::string StatusJson(const StationStatus& status, const ServeIdentity& identity,
                       std::chrono::system_clock::time_point now) {
  std::ostringstream out;
  out.imbue(std::locale::classic());
  out << "{\"instance\":" << JsonString(identity.instance)
      << ",\"version\":" << JsonString(RDSQ7_VERSION) << ",\"time\":\"" << IsoTime(now)
      << "\",\"started\":\"" << IsoTime(identity.started) << "\",\"status\":"
      << JsonString(StatusLine(status)) << ",\"history\":" << Bool(identity.history);
  out << ",\"encoder\":{\"port\":" << (identity.port ? JsonString(*identity.port) : "null")
      << ",\"dry_run\":" << Bool(!identity.port) << '}';
  out << ",\"last_send\":{\"result\":\"" << SendResultName(status.send) << "\",\"time\":"
      << TimeJson(status.send == SendResult::kNone ? std::nullopt
                                                   : std::optional(status.send_time))
      << ",\"text\":" << JsonString(status.send_text) << '}';
  out << ",\"sends\":{\"total\":" << status.sends << ",\"failed\":" << status.failed_sends
      << ",\"last_ok\":" << TimeJson(status.last_ok_send)
      << ",\"last_hour\":" << status.sends_last_hour << ",\"per_hour\":" << status.sends_per_hour
      << ",\"wait_until\":" << TimeJson(status.changes_wait_until)
      << ",\"changes_pending\":" << Bool(status.changes_pending) << '}';
  out << ",\"sent\":" << (status.sent ? StationJson(*status.sent) : "null")
      << ",\"state\":" << StationJson(status.state);
  out << ",\"on_air\":{\"verdict\":\"" << AirVerdictName(status.air)
      << "\",\"time\":" << TimeJson(status.air_time)
      << ",\"last_confirmed\":" << TimeJson(status.last_confirmed) << ",\"differences\":[";
  for (std::size_t i = 0; i < status.air_differences.size(); ++i) {
    const auto& d = status.air_differences[i];
    out << (i ? "," : "") << "{\"field\":\"" << receiver::FieldName(d.field)
        << "\",\"on_air\":" << (d.received() ? JsonString(d.on_air) : "null")
        << ",\"sent\":" << JsonString(d.expected) << '}';
  }
  out << "]},\"alarm\":" << Bool(AlarmRaised(status)) << ",\"conditions\":{";
  for (std::size_t i = 0; i < kConditionCount; ++i) {
    const auto condition = static_cast<Condition>(i);
    out << (i ? "," : "") << '"' << ConditionName(condition)
        << "\":" << Bool(ConditionActive(status, condition));
  }
  out << "},\"levels\":" << LevelsJson(status)
      << ",\"fallback_since\":" << TimeJson(status.fallback_since) << ",\"save_failure\":"
      << (status.save_failure ? JsonString(*status.save_failure) : "null") << '}';
  return out.str();
}

}  // namespace serve

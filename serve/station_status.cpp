#include "serve/station_status.h"

#include <cstdio>

#include "serve/log.h"

namespace serve {
namespace {

// HH:MM:SS of the log's UTC time: what STATUS puts beside a verdict or the levels.
std::string ClockOf(std::chrono::system_clock::time_point time) {
  const std::string iso = IsoTime(time);
  return iso.substr(iso.find('T') + 1, 8);
}

}  // namespace

const char* AirVerdictName(AirVerdict verdict) {
  switch (verdict) {
    case AirVerdict::kNotMonitored:
      return "not-monitored";
    case AirVerdict::kChecking:
      return "checking";
    case AirVerdict::kConfirmed:
      return "confirmed";
    case AirVerdict::kMismatch:
      return "mismatch";
    case AirVerdict::kWeak:
      return "weak";
    case AirVerdict::kNoRds:
      return "no-rds";
    case AirVerdict::kNoSignal:
      return "no-signal";
  }
  return "";
}

std::string LevelsStatus(const receiver::Levels& l, std::chrono::system_clock::time_point taken) {
  const auto printed = [](const char* format, double value) {
    char text[32];
    std::snprintf(text, sizeof text, format, value);
    return std::string(text);
  };
  const std::string errors = printed("bler:%.1f%% ", l.block_errors_percent) + ClockOf(taken);
  if (!l.scaled) return "LEVELS=unscaled," + errors;
  return "LEVELS=pilot:" + printed("%.2fkHz", l.pilot_khz) + printed(",rds:%.2fkHz", l.rds_khz) +
         printed(",peak:%.1fkHz", l.peak_khz) + printed(",over%.0fkHz:", l.over_khz) +
         printed("%.2f%%", l.over_percent) + printed(",mpx:%+.1fdBr,", l.mpx_power_dbr) + errors;
}

std::string StatusLine(const StationStatus& status) {
  std::string line = "STATUS";
  switch (status.send) {
    case SendResult::kNone:
      line += " none";
      break;
    case SendResult::kOk:
    case SendResult::kFailed:
      line += (status.send == SendResult::kOk ? " ok " : " failed ") + IsoTime(status.send_time) +
              ' ' + status.send_text;
      break;
  }
  if (status.sends_per_hour > 0) {
    line += " sends_last_hour=" + std::to_string(status.sends_last_hour) + "/" +
            std::to_string(status.sends_per_hour);
  }
  if (status.changes_wait_until)
    line += " changes wait until " + IsoTime(*status.changes_wait_until);
  if (status.air != AirVerdict::kNotMonitored) {
    line += std::string(" ONAIR=") + AirVerdictName(status.air);
    if (status.air == AirVerdict::kConfirmed && status.air_time) {
      line += ' ' + ClockOf(*status.air_time);
    }
    if (status.air == AirVerdict::kMismatch || status.air == AirVerdict::kWeak) {
      line += ' ' + receiver::DifferenceNames(status.air_differences);
    }
  }
  if (status.levels && status.levels_time) {
    line += ' ' + LevelsStatus(*status.levels, *status.levels_time);
  }
  // ALARM as before: for a client that knows nothing of the conditions, any of them is one.
  if (status.alarm || !status.conditions.empty()) line += " ALARM";
  std::string names;
  for (const std::string& c : status.conditions) names += (names.empty() ? "" : ",") + c;
  if (!names.empty()) line += " CONDITIONS=" + names;
  if (status.fallback_since) line += " FALLBACK since " + IsoTime(*status.fallback_since);
  if (status.save_failure) line += " (settings not saved: " + *status.save_failure + ")";
  return line;
}

}  // namespace serve

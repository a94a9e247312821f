#include "serve/station_status.h"

#include "serve/log.h"

namespace serve {

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
    case AirVerdict::kNoRds:
      return "no-rds";
  }
  return "";
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
  if (status.changes_wait_until) line += " changes wait until " + IsoTime(*status.changes_wait_until);
  if (status.air != AirVerdict::kNotMonitored) {
    line += std::string(" ONAIR=") + AirVerdictName(status.air);
    if (status.air == AirVerdict::kConfirmed && status.air_time) {
      const std::string iso = IsoTime(*status.air_time);
      line += ' ' + iso.substr(iso.find('T') + 1, 8);  // HH:MM:SS
    }
    if (status.air == AirVerdict::kMismatch) {
      line += ' ' + receiver::DifferenceNames(status.air_differences);
    }
  }
  if (status.alarm) line += " ALARM";
  if (status.fallback_since) line += " FALLBACK since " + IsoTime(*status.fallback_since);
  if (status.save_failure) line += " (settings not saved: " + *status.save_failure + ")";
  return line;
}

}  // namespace serve

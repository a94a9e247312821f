#pragma once

#include <chrono>
#include <string>

#include "serve/alarm_conditions.h"
#include "serve/station_status.h"

namespace serve {

// The station's status as one JSON object, with the field names docs/serve.md lists: what
// STATUS says (its own line too, as "status"), the station as sent and as it is now (each
// field as receivers show it), the verdict on air, the counts and times. Times are ISO 8601
// in UTC, null when there is none.
// ALARM in STATUS: the alarm of a mismatch after its resend, or any raised condition.
bool AlarmRaised(const StationStatus& status);
bool ConditionActive(const StationStatus& status, Condition condition);

std::string StatusJson(const StationStatus& status, const ServeIdentity& identity,
                       std::chrono::system_clock::time_point now);

}  // namespace serve

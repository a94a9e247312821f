#pragma once

#include <optional>
#include <string>

#include "serve/alarm_delivery.h"

namespace serve {

// Alarms and recoveries in the system's own log: the journal on Linux (alarms at alert
// priority, recoveries at notice), the Windows event log when serve runs as the service
// `service` (its name is the source). Empty where there is none.
AlarmDelivery::SystemLog SystemAlarmLog(const std::optional<std::string>& service);

}  // namespace serve

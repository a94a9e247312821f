#include <syslog.h>
#include <systemd/sd-journal.h>

#include "serve/system_alarm_log.h"

namespace serve {

AlarmDelivery::SystemLog SystemAlarmLog(const std::optional<std::string>&) {
  return [](const AlarmEvent& event, const std::string& summary) {
    // Fields of its own, so that journalctl RDSQ7_CONDITION=mismatch finds them.
    sd_journal_send("MESSAGE=%s", summary.c_str(), "PRIORITY=%d",
                    event.kind == EventKind::kAlarm ? LOG_ALERT : LOG_NOTICE,
                    "SYSLOG_IDENTIFIER=rdsq7-serve", "RDSQ7_EVENT=%s", EventKindName(event.kind),
                    "RDSQ7_CONDITION=%s", event.condition ? ConditionName(*event.condition) : "",
                    nullptr);
  };
}

}  // namespace serve

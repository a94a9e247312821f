#include <windows.h>

#include "serve/system_alarm_log.h"
#include "transfer/win_text.h"

namespace serve {
namespace {

// Event identifiers: 1 is the service's own "serve stopped".
constexpr DWORD kAlarmEventId = 2;
constexpr DWORD kRecoveryEventId = 3;

}  // namespace

AlarmDelivery::SystemLog SystemAlarmLog(const std::optional<std::string>& service) {
  if (!service) return nullptr;  // a console serve has its log file and its window
  return
      [name = transfer::win::Widen(*service)](const AlarmEvent& event, const std::string& summary) {
        HANDLE source = ::RegisterEventSourceW(nullptr, name.c_str());
        if (source == nullptr) return;
        const std::wstring text = transfer::win::Widen(summary);
        LPCWSTR strings[] = {text.c_str()};
        const bool alarm = event.kind == EventKind::kAlarm;
        ::ReportEventW(source, alarm ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE, 0,
                       alarm ? kAlarmEventId : kRecoveryEventId, nullptr, 1, 0, strings, nullptr);
        ::DeregisterEventSource(source);
      };
}

}  // namespace serve

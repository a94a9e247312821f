#include <windows.h>

#include "serve/system_alarm_log.h"

namespace serve {
namespace {

std::wstring Wide(const std::string& utf8) {
  const int n =
      MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

// Event identifiers: 1 is the service's own "serve stopped".
constexpr DWORD kAlarmEventId = 2;
constexpr DWORD kRecoveryEventId = 3;

}  // namespace

AlarmDelivery::SystemLog SystemAlarmLog(const std::optional<std::string>& service) {
  if (!service) return nullptr;  // a console serve has its log file and its window
  return [name = Wide(*service)](const AlarmEvent& event, const std::string& summary) {
    HANDLE source = ::RegisterEventSourceW(nullptr, name.c_str());
    if (source == nullptr) return;
    const std::wstring text = Wide(summary);
    LPCWSTR strings[] = {text.c_str()};
    const bool alarm = event.kind == EventKind::kAlarm;
    ::ReportEventW(source, alarm ? EVENTLOG_ERROR_TYPE : EVENTLOG_INFORMATION_TYPE, 0,
                   alarm ? kAlarmEventId : kRecoveryEventId, nullptr, 1, 0, strings, nullptr);
    ::DeregisterEventSource(source);
  };
}

}  // namespace serve

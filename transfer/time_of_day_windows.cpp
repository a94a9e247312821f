#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "transfer/time_of_day.h"

namespace transfer {

TimeOfDay SystemTimeOfDayClock::Now() {
  SYSTEMTIME local{};
  GetLocalTime(&local);
  return TimeOfDay(((local.wHour * 60LL + local.wMinute) * 60LL + local.wSecond) * 1000LL +
                   local.wMilliseconds);
}

}  // namespace transfer

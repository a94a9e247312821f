#include <ctime>

#include "transfer/time_of_day.h"

namespace transfer {

TimeOfDay SystemTimeOfDayClock::Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  const long long seconds = local.tm_hour * 3600LL + local.tm_min * 60LL + local.tm_sec;
  // A leap second (tm_sec 60) counts as the last millisecond of the day.
  const long long ms = seconds * 1000 + now.tv_nsec / 1000000;
  return TimeOfDay(ms < 86400000 ? ms : 86399999);
}

}  // namespace transfer

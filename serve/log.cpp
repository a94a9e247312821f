#include "serve/log.h"

#include <cstdio>

namespace cli {

std::string IsoTime(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto ms = floor<milliseconds>(time);
  const auto day = floor<days>(ms);
  const year_month_day date{day};
  const hh_mm_ss clock{ms - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()),
                unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                int(clock.minutes().count()), int(clock.seconds().count()),
                int(clock.subseconds().count()));
  return text;
}

void ServeLog::Line(const std::string& text) {
  const std::lock_guard lock(mutex_);
  out_ << IsoTime(std::chrono::system_clock::now()) << ' ' << text << std::endl;
}

}  // namespace cli

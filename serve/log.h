#pragma once

#include <chrono>
#include <mutex>
#include <ostream>
#include <string>

namespace cli {

// "2024-05-01T12:34:56.789Z": ISO 8601, UTC, milliseconds.
std::string IsoTime(std::chrono::system_clock::time_point time);

// serve's log: one line per event on stdout, each led by the time, flushed at once so that
// a supervisor or a pipe sees it as it happens.
class ServeLog {
 public:
  explicit ServeLog(std::ostream& out) : out_(out) {}
  void Line(const std::string& text);

 private:
  std::mutex mutex_;
  std::ostream& out_;
};

}  // namespace cli

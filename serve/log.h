#pragma once

#include <chrono>
#include <memory>
#include <ostream>
#include <string>

namespace serve {

// "2024-05-01T12:34:56.789Z": ISO 8601, UTC, milliseconds.
std::string IsoTime(std::chrono::system_clock::time_point time);

// Lines waiting for the log's writer; more are dropped and counted.
constexpr std::size_t kMaxLogBacklog = 1000;

// serve's log: one line per event on stdout, each led by the time, flushed at once so that
// a supervisor or a pipe sees it as it happens. A thread of its own writes it: a reader
// that stops reading (a full pipe) loses lines, told by a count once it reads again, but
// never holds up serving.
class ServeLog {
 public:
  explicit ServeLog(std::ostream& out);
  ~ServeLog();  // writes what waits, unless the reader stays stuck for long
  ServeLog(const ServeLog&) = delete;
  ServeLog& operator=(const ServeLog&) = delete;

  void Line(const std::string& text);

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace serve

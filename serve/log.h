#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

namespace serve {

// "2024-05-01T12:34:56.789Z": ISO 8601, UTC, milliseconds.
std::string IsoTime(std::chrono::system_clock::time_point time);

// Lines waiting for the log's writer; more are dropped and counted.
constexpr std::size_t kMaxLogBacklog = 1000;

// The size at which a --log file is renamed FILE.1 and begun anew. Windows has no logrotate,
// so serve keeps its file to 10 MB itself; elsewhere logrotate renames it and sends SIGHUP.
#if defined(_WIN32)
constexpr std::uintmax_t kLogRotateBytes = 10 * 1024 * 1024;
#else
constexpr std::uintmax_t kLogRotateBytes = 0;
#endif

// serve's log: one line per event on stdout, each led by the time, flushed at once so that
// a supervisor or a pipe sees it as it happens. A thread of its own writes it: a reader
// that stops reading (a full pipe) loses lines, told by a count once it reads again, but
// never holds up serving.
class ServeLog {
 public:
  explicit ServeLog(std::ostream& out);
  // Appends to file instead (throws std::runtime_error when it cannot be opened). With
  // rotate_bytes (0: never) a line that would take the file beyond that size renames it
  // FILE.1 (replacing the one there) and goes to a new FILE.
  ServeLog(const std::filesystem::path& file, std::uintmax_t rotate_bytes);
  ~ServeLog();  // writes what waits, unless the reader stays stuck for long
  ServeLog(const ServeLog&) = delete;
  ServeLog& operator=(const ServeLog&) = delete;

  void Line(const std::string& text);

  // Opens the file again by its name, after the lines already given: the old one may have
  // been renamed (log rotation). Says so in the log; without a file it changes nothing.
  void Reopen();

 private:
  void Start();

  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace serve

#include "serve/log.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

namespace serve {
namespace {

// How long the end of serve waits for a stuck reader before leaving its lines behind.
constexpr std::chrono::seconds kDrainLimit{2};

}  // namespace

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

// Shared with the writer thread, which may outlive the log when its reader is stuck.
struct ServeLog::Shared {
  explicit Shared(std::ostream& o) : out(o) {}
  std::ostream& out;
  std::mutex mutex;
  std::condition_variable wake, drained;
  std::deque<std::string> lines;
  std::size_t dropped = 0;
  bool writing = false;
  bool quit = false;
};

ServeLog::ServeLog(std::ostream& out) : shared_(std::make_shared<Shared>(out)) {
  std::thread([shared = shared_] {
    std::unique_lock lock(shared->mutex);
    while (true) {
      shared->wake.wait(lock, [&] { return shared->quit || !shared->lines.empty(); });
      if (shared->lines.empty()) return;
      std::string line = std::move(shared->lines.front());
      shared->lines.pop_front();
      shared->writing = true;
      lock.unlock();
      shared->out << line << std::endl;
      lock.lock();
      shared->writing = false;
      if (shared->lines.empty()) shared->drained.notify_all();
    }
  }).detach();
}

ServeLog::~ServeLog() {
  std::unique_lock lock(shared_->mutex);
  shared_->quit = true;
  shared_->wake.notify_one();
  shared_->drained.wait_for(lock, kDrainLimit,
                            [&] { return shared_->lines.empty() && !shared_->writing; });
}

void ServeLog::Line(const std::string& text) {
  const std::string stamp = IsoTime(std::chrono::system_clock::now()) + ' ';
  const std::lock_guard lock(shared_->mutex);
  if (shared_->lines.size() >= kMaxLogBacklog) {
    ++shared_->dropped;
    return;
  }
  if (shared_->dropped > 0) {
    shared_->lines.push_back(stamp + std::to_string(shared_->dropped) +
                             " log lines dropped: stdout was not read");
    shared_->dropped = 0;
  }
  shared_->lines.push_back(stamp + text);
  shared_->wake.notify_one();
}

}  // namespace serve

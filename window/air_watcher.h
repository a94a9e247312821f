#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "rds/station.h"
#include "receiver/air_guard.h"

namespace app {

// The window's watch over what is on air while it is open: runs the monitor command (again
// 2 s after it ends), decodes the station's RDS and keeps an AirGuard, so that a Send is
// confirmed and a change on air that no Send made is noticed. Events go to on_event from a
// thread of the watcher's own, with the count of Sent calls that came before them, so that one
// that was on its way while a Send ended can be told from those of that Send. on_event runs
// under the watcher's lock: it hands the event on and does not call the watcher. Qt-free.
class AirWatcher {
 public:
  using Event = std::function<void(receiver::AirEvent, std::vector<receiver::FieldDifference>,
                                   unsigned sends)>;

  // confirm_timeout: how long a Send has to show on air; change_grace: how long a change on
  // air that no Send made must hold before it counts.
  AirWatcher(std::string command, std::chrono::milliseconds confirm_timeout,
             std::chrono::milliseconds change_grace, Event on_event);
  ~AirWatcher();  // stops the command
  AirWatcher(const AirWatcher&) = delete;
  AirWatcher& operator=(const AirWatcher&) = delete;

  const std::string& command() const { return command_; }

  // A Send of settings has just ended: confirm it.
  void Sent(const rds::StationSettings& settings);
  // What went out before (the Last-sent record at start): only a change from it is told.
  void Watch(const rds::StationSettings& settings);

 private:
  void Run();
  // Takes the guard's next event and hands it on, under one lock with the count of sends.
  void Step(const std::function<receiver::AirEvent(receiver::AirGuard&)>& step);

  std::string command_;
  Event on_event_;
  std::mutex mutex_;
  receiver::AirGuard guard_;
  unsigned sends_ = 0;
  std::atomic<bool> quit_{false};
  std::mutex child_mutex_;
  std::function<void()> stop_child_;
  std::thread reader_;
  std::thread ticker_;
};

}  // namespace app

#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "appcore/command_run.h"
#include "serve/alarm_event.h"
#include "serve/log.h"

namespace serve {

// A command that has not ended after this long is ended.
constexpr std::chrono::seconds kAlarmCommandTimeout{30};
// Events waiting for one command; beyond it heartbeats go first, then tests and starts.
constexpr std::size_t kAlarmQueueLimit = 100;
// Alarms and recoveries are dropped only beyond this many waiting (a command stuck for days).
constexpr std::size_t kAlarmQueueHardLimit = 1000;

struct DeliveryOptions {
  std::chrono::milliseconds timeout = kAlarmCommandTimeout;
  // A failed delivery is tried again after each of these pauses, growing.
  std::vector<std::chrono::milliseconds> retry_pauses = {
      std::chrono::seconds(10), std::chrono::seconds(30), std::chrono::seconds(90)};
  std::size_t queue_limit = kAlarmQueueLimit;
  std::size_t hard_limit = kAlarmQueueHardLimit;
};

// Runs command once for event: the event as JSON on its standard input, and in
// RDSQ7_EVENT, RDSQ7_CONDITION, RDSQ7_INSTANCE and RDSQ7_SUMMARY.
app::CommandResult RunAlarmCommand(const std::string& command, const AlarmEvent& event,
                                   const std::string& instance, std::chrono::milliseconds timeout,
                                   const std::atomic<bool>* cancel = nullptr);

// Hands events to the alarm commands, each command on a thread of its own with its own
// queue, so that one that hangs or fails holds up neither the others nor serve: Post never
// waits. A failure is logged and tried again after growing pauses. Alarms and recoveries
// also go to the system's log (system_log) when one is given.
class AlarmDelivery {
 public:
  using SystemLog = std::function<void(const AlarmEvent&, const std::string& summary)>;

  AlarmDelivery(std::vector<std::string> commands, std::string instance, ServeLog& log,
                DeliveryOptions options = {}, SystemLog system_log = nullptr);
  // Gives what waits a moment to go out, then ends the commands still running.
  ~AlarmDelivery();
  AlarmDelivery(const AlarmDelivery&) = delete;
  AlarmDelivery& operator=(const AlarmDelivery&) = delete;

  void Post(const AlarmEvent& event);
  std::size_t Commands() const { return commands_.size(); }

 private:
  struct Queue;
  void Run(Queue& queue);

  std::vector<std::string> commands_;
  std::string instance_;
  ServeLog& log_;
  DeliveryOptions options_;
  std::vector<std::unique_ptr<Queue>> queues_;
  std::atomic<bool> cancel_{false};
};

}  // namespace serve

#include "serve/alarm_delivery.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace serve {
namespace {

// How long the end of serve waits for events still waiting to go out.
constexpr std::chrono::seconds kStopGrace{3};

std::string EventName(const AlarmEvent& event) {
  return std::string(EventKindName(event.kind)) +
         (event.condition ? std::string(" ") + ConditionName(*event.condition) : "");
}

// The first line of what a failed command wrote: usually its reason.
std::string FirstLine(const std::string& output) {
  const auto start = output.find_first_not_of(" \t\r\n");
  if (start == std::string::npos) return "";
  const auto end = output.find_first_of("\r\n", start);
  return output.substr(start, std::min<std::size_t>(end, start + 200) - start);
}

std::string PauseText(std::chrono::milliseconds pause) {
  return pause < std::chrono::seconds(1) ? std::to_string(pause.count()) + " ms"
                                         : DurationText(pause);
}

bool Urgent(EventKind kind) {
  return kind == EventKind::kAlarm || kind == EventKind::kRecovery;
}

// Which events a full queue keeps: the higher, the longer.
int Rank(EventKind kind) {
  return Urgent(kind) ? 2 : kind == EventKind::kHeartbeat ? 0 : 1;
}
constexpr EventKind kUrgent = EventKind::kAlarm;

}  // namespace

app::CommandResult RunAlarmCommand(const std::string& command, const AlarmEvent& event,
                                   const std::string& instance, std::chrono::milliseconds timeout,
                                   const std::atomic<bool>* cancel) {
  return app::RunCommand(command, EventJson(event, instance) + "\n",
                         EventEnvironment(event, instance), timeout, cancel);
}

struct AlarmDelivery::Queue {
  std::string name;
  // Delivers one event: empty, or why it failed.
  std::function<std::string(const AlarmEvent&)> deliver;
  bool retries = true;
  std::mutex mutex;
  std::condition_variable wake, idle;
  std::deque<AlarmEvent> events;
  bool quit = false;
  bool busy = false;
  std::thread thread;
};

AlarmDelivery::AlarmDelivery(std::vector<std::string> commands, std::string instance, ServeLog& log,
                             DeliveryOptions options, SystemLog system_log)
    : commands_(std::move(commands)),
      instance_(std::move(instance)),
      log_(log),
      options_(std::move(options)) {
  for (std::size_t i = 0; i < commands_.size(); ++i) {
    auto queue = std::make_unique<Queue>();
    queue->name = "alarm command " + std::to_string(i + 1);
    queue->deliver = [this, command = commands_[i]](const AlarmEvent& event) -> std::string {
      const app::CommandResult result =
          RunAlarmCommand(command, event, instance_, options_.timeout, &cancel_);
      if (result.Succeeded()) return "";
      const std::string said = FirstLine(result.output);
      return result.ending + (said.empty() ? "" : ": " + said);
    };
    queues_.push_back(std::move(queue));
  }
  if (system_log) {
    auto queue = std::make_unique<Queue>();
    queue->name = "system log";
    queue->retries = false;
    queue->deliver = [this, system_log](const AlarmEvent& event) -> std::string {
      system_log(event, EventSummary(event, instance_));
      return "";
    };
    queues_.push_back(std::move(queue));
  }
  for (auto& queue : queues_) queue->thread = std::thread([this, q = queue.get()] { Run(*q); });
}

AlarmDelivery::~AlarmDelivery() {
  const auto deadline = std::chrono::steady_clock::now() + kStopGrace;
  for (auto& queue : queues_) {
    std::lock_guard lock(queue->mutex);
    queue->quit = true;
    queue->wake.notify_all();
  }
  for (auto& queue : queues_) {
    std::unique_lock lock(queue->mutex);
    queue->idle.wait_until(lock, deadline, [&] { return queue->events.empty() && !queue->busy; });
  }
  cancel_ = true;
  for (auto& queue : queues_) queue->thread.join();
}

void AlarmDelivery::Post(const AlarmEvent& event) {
  for (auto& queue : queues_) {
    if (!queue->retries && !Urgent(event.kind)) continue;  // the system log takes only these
    std::lock_guard lock(queue->mutex);
    auto& events = queue->events;
    if (events.size() >= options_.queue_limit) {
      // The oldest of the lowest rank goes: heartbeats first, then tests and starts, and an
      // alarm or a recovery only beyond the hard limit. One that ranks lower than all that
      // wait is dropped itself.
      const auto lowest = std::min_element(
          events.begin(), events.end(),
          [](const AlarmEvent& a, const AlarmEvent& b) { return Rank(a.kind) < Rank(b.kind); });
      auto victim = events.end();
      if (Rank(lowest->kind) < Rank(kUrgent)) {
        victim = Rank(event.kind) < Rank(lowest->kind) ? events.end() : lowest;
      } else if (events.size() >= options_.hard_limit) {
        victim = events.begin();
      }
      if (victim == events.end() && !Urgent(event.kind)) {
        log_.Line(queue->name + ": too many events waiting; " + EventName(event) + " dropped");
        continue;
      }
      if (victim != events.end()) {
        log_.Line(queue->name + ": too many events waiting; " + EventName(*victim) + " dropped");
        events.erase(victim);
      }
    }
    events.push_back(event);
    queue->wake.notify_one();
  }
}

void AlarmDelivery::Run(Queue& queue) {
  std::unique_lock lock(queue.mutex);
  for (;;) {
    queue.wake.wait(lock, [&] { return queue.quit || !queue.events.empty(); });
    if (queue.events.empty() || cancel_) break;
    const AlarmEvent event = std::move(queue.events.front());
    queue.events.pop_front();
    queue.busy = true;
    for (std::size_t attempt = 0;; ++attempt) {
      lock.unlock();
      const std::string failure = queue.deliver(event);
      lock.lock();
      if (failure.empty()) {
        if (queue.retries && (event.kind != EventKind::kHeartbeat || attempt > 0)) {
          log_.Line(queue.name + ": " + EventName(event) + " delivered" +
                    (attempt > 0 ? " at try " + std::to_string(attempt + 1) : ""));
        }
        break;
      }
      const bool last = cancel_ || queue.quit || attempt >= options_.retry_pauses.size();
      const auto pause = last ? std::chrono::milliseconds(0) : options_.retry_pauses[attempt];
      log_.Line(queue.name + ": " + EventName(event) + " failed: " + failure +
                (last ? "; given up" : "; trying again in " + PauseText(pause)));
      if (last) break;
      if (queue.wake.wait_for(lock, pause, [&] { return queue.quit; })) {
        log_.Line(queue.name + ": " + EventName(event) + " given up: serve is stopping");
        break;
      }
    }
    queue.busy = false;
    queue.idle.notify_all();
  }
  queue.busy = false;
  queue.idle.notify_all();
}

}  // namespace serve

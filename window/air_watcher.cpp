#include "window/air_watcher.h"

#include "appcore/child_process.h"
#include "receiver/air_watch.h"

namespace app {
namespace {

using Clock = receiver::AirGuard::Clock;

constexpr std::chrono::milliseconds kTick{100};
constexpr std::chrono::seconds kRestartPause{2};

}  // namespace

AirWatcher::AirWatcher(std::string command, std::chrono::milliseconds confirm_timeout,
                       std::chrono::milliseconds change_grace, Event on_event)
    : command_(std::move(command)),
      on_event_(std::move(on_event)),
      guard_(confirm_timeout, change_grace) {
  reader_ = std::thread([this] { Run(); });
  ticker_ = std::thread([this] {
    while (!quit_) {
      std::this_thread::sleep_for(kTick);
      Step([](receiver::AirGuard& guard) { return guard.Tick(Clock::now()); });
    }
  });
}

AirWatcher::~AirWatcher() {
  quit_ = true;
  {
    std::lock_guard lock(child_mutex_);
    if (stop_child_) stop_child_();
  }
  reader_.join();
  ticker_.join();
}

void AirWatcher::Sent(const rds::StationSettings& settings) {
  std::lock_guard lock(mutex_);
  guard_.Sent(settings, Clock::now());
  ++sends_;
}

void AirWatcher::Watch(const rds::StationSettings& settings) {
  std::lock_guard lock(mutex_);
  guard_.Watch(settings, Clock::now());
}

void AirWatcher::Step(const std::function<receiver::AirEvent(receiver::AirGuard&)>& step) {
  std::lock_guard lock(mutex_);
  const receiver::AirEvent event = step(guard_);
  if (event != receiver::AirEvent::kNone) on_event_(event, guard_.differences(), sends_);
}

void AirWatcher::Run() {
  while (!quit_) {
    // A command that cannot start or ends is tried again; the verdict tells the rest.
    try {
      ChildProcess child(command_);
      {
        std::lock_guard lock(child_mutex_);
        stop_child_ = [&child] { child.Stop(); };
      }
      try {
        receiver::ChildSource source(child);
        if (!quit_) {
          receiver::DecodeStream(source, std::nullopt, [this](const receiver::Group& group, auto) {
            Step([&group](receiver::AirGuard& guard) { return guard.Take(group, Clock::now()); });
            return !quit_;
          });
        }
      } catch (const std::exception&) {  // output that is no multiplex
      }
      std::lock_guard lock(child_mutex_);
      stop_child_ = nullptr;
    } catch (const std::exception&) {  // a command that cannot start
    }
    for (auto waited = std::chrono::milliseconds(0); waited < kRestartPause && !quit_;
         waited += kTick) {
      std::this_thread::sleep_for(kTick);
    }
  }
}

}  // namespace app

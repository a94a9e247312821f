#include "serve/air_monitor.h"

#include "appcore/child_process.h"
#include "receiver/air_watch.h"

namespace serve {
namespace {

constexpr std::chrono::milliseconds kTick{100};

}  // namespace

AirMonitor::AirMonitor(std::string command, std::chrono::milliseconds confirm_timeout,
                       ServeLog& log, Event on_event, receiver::MeterOptions meter,
                       LevelsEvent on_levels)
    : command_(std::move(command)),
      log_(log),
      on_event_(std::move(on_event)),
      meter_(meter),
      on_levels_(std::move(on_levels)),
      guard_(confirm_timeout, kChangeGrace) {
  reader_ = std::thread([this] { Run(); });
  ticker_ = std::thread([this] {
    while (!quit_) {
      std::this_thread::sleep_for(kTick);
      receiver::AirEvent event;
      {
        std::lock_guard lock(mutex_);
        event = guard_.Tick(receiver::AirGuard::Clock::now());
      }
      Deliver(event);
    }
  });
}

AirMonitor::~AirMonitor() {
  quit_ = true;
  {
    std::lock_guard lock(child_mutex_);
    if (stop_child_) stop_child_();
  }
  reader_.join();
  ticker_.join();
}

void AirMonitor::Sent(const rds::StationSettings& settings) {
  std::lock_guard lock(mutex_);
  guard_.Sent(settings, receiver::AirGuard::Clock::now());
}

std::optional<TakenLevels> AirMonitor::Levels() const {
  std::lock_guard lock(mutex_);
  return levels_;
}

void AirMonitor::TakeLevels(const receiver::Levels& measured) {
  const TakenLevels taken{measured, std::chrono::system_clock::now()};
  {
    std::lock_guard lock(mutex_);
    levels_ = taken;
  }
  if (on_levels_) on_levels_(taken);
}

void AirMonitor::Deliver(receiver::AirEvent event) {
  if (event == receiver::AirEvent::kNone) return;
  std::vector<receiver::FieldDifference> differences;
  {
    std::lock_guard lock(mutex_);
    differences = guard_.differences();
  }
  on_event_(event, std::move(differences));
}

void AirMonitor::Run() {
  while (!quit_) {
    std::string ending;
    try {
      app::ChildProcess child(command_);
      {
        std::lock_guard lock(child_mutex_);
        stop_child_ = [&child] { child.Stop(); };
      }
      if (!quit_) {
        receiver::ChildSource source(child);
        const receiver::LevelWatch levels{
            meter_, [this](const receiver::Levels& measured) { TakeLevels(measured); }, nullptr};
        receiver::DecodeStream(
            source, std::nullopt,
            [this](const receiver::Group& group, auto) {
              receiver::AirEvent event;
              {
                std::lock_guard lock(mutex_);
                event = guard_.Take(group, receiver::AirGuard::Clock::now());
              }
              Deliver(event);
              return !quit_;
            },
            nullptr, &levels);
      }
      {
        std::lock_guard lock(child_mutex_);
        stop_child_ = nullptr;
      }
      if (quit_) return;
      child.Stop();
      ending = "monitor command " + child.Ending();
    } catch (const std::exception& e) {
      std::lock_guard lock(child_mutex_);
      stop_child_ = nullptr;
      ending = std::string("monitor: ") + e.what();
    }
    log_.Line(ending + "; starting it again in " + std::to_string(kMonitorRestartDelay.count()) +
              " s");
    for (auto waited = std::chrono::milliseconds(0); waited < kMonitorRestartDelay && !quit_;
         waited += kTick) {
      std::this_thread::sleep_for(kTick);
    }
  }
}

}  // namespace serve

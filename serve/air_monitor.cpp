#include "serve/air_monitor.h"

#include "appcore/child_process.h"
#include "receiver/air_watch.h"

namespace serve {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kTick{100};
// How often reception is told, in signal.
constexpr std::chrono::seconds kReceptionReport{1};

// A byte source that notes when it last gave bytes.
class NotedSource final : public receiver::ByteSource {
 public:
  NotedSource(receiver::ByteSource& source, std::atomic<Clock::rep>& last)
      : source_(source), last_(last) {}
  std::size_t Read(std::span<std::uint8_t> out) override {
    const std::size_t got = source_.Read(out);
    if (got > 0) last_ = Clock::now().time_since_epoch().count();
    return got;
  }

 private:
  receiver::ByteSource& source_;
  std::atomic<Clock::rep>& last_;
};

}  // namespace

AirMonitor::AirMonitor(std::string command, std::chrono::milliseconds confirm_timeout,
                       ServeLog& log, Event on_event, Samples on_samples,
                       receiver::MeterOptions meter, LevelsEvent on_levels,
                       ReceptionEvent on_reception)
    : command_(std::move(command)),
      log_(log),
      on_event_(std::move(on_event)),
      on_samples_(std::move(on_samples)),
      meter_(meter),
      on_levels_(std::move(on_levels)),
      on_reception_(std::move(on_reception)),
      guard_(confirm_timeout, kChangeGrace),
      last_sample_(Clock::now().time_since_epoch().count()) {
  reader_ = std::thread([this] { Run(); });
  ticker_ = std::thread([this] {
    while (!quit_) {
      std::this_thread::sleep_for(kTick);
      Watch();
    }
  });
}

void AirMonitor::Watch() {
  const Clock::time_point now = Clock::now();
  const SampleWatch::Change change =
      samples_.Check(Clock::time_point(Clock::duration(last_sample_.load())), now);
  if (change == SampleWatch::Change::kSilent) on_samples_(false);
  if (change == SampleWatch::Change::kBack) {
    {
      // What is on air now is not known: the last send is confirmed again.
      std::lock_guard lock(mutex_);
      if (last_sent_) guard_.Sent(*last_sent_, now);
    }
    on_samples_(true);
  }
  // Without samples the confirmation's time running out says nothing about the air.
  if (samples_.Silent()) return;
  receiver::AirEvent event;
  {
    std::lock_guard lock(mutex_);
    event = guard_.Tick(now);
  }
  Deliver(event);
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
  last_sent_ = settings;
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
  RestartPauses pauses;
  while (!quit_) {
    std::string ending;
    const Clock::time_point started = Clock::now();
    try {
      app::ChildProcess child(command_);
      {
        std::lock_guard lock(child_mutex_);
        stop_child_ = [&child] { child.Stop(); };
      }
      if (!quit_) {
        receiver::ChildSource output(child);
        NotedSource source(output, last_sample_);
        const receiver::LevelWatch levels{
            meter_, [this](const receiver::Levels& measured) { TakeLevels(measured); }, nullptr};
        reception_.Restart();
        ReceptionWatch::Position reported{0};
        receiver::DecodeStream(
            source, std::nullopt,
            [this](const receiver::Group& group, auto at) {
              reception_.Group(at);
              receiver::AirEvent event;
              {
                std::lock_guard lock(mutex_);
                event = guard_.Take(group, receiver::AirGuard::Clock::now());
              }
              Deliver(event);
              return !quit_;
            },
            nullptr, &levels,
            [this, &reported](const receiver::DecoderStats& stats, auto at) {
              reception_.Stats(stats, at);
              if (!on_reception_ || at - reported < kReceptionReport) return;
              reported = at;
              on_reception_(ReceptionMeasurements(reception_));
            });
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
    const RestartPauses::Restart restart = pauses.Ended(Clock::now() - started);
    if (restart.log) {
      log_.Line(ending +
                (restart.ends > 1 ? " (" + std::to_string(restart.ends) + " times in a row)" : "") +
                "; starting it again in " + std::to_string(restart.pause.count()) + " s");
    }
    for (auto waited = std::chrono::milliseconds(0); waited < restart.pause && !quit_;
         waited += kTick) {
      std::this_thread::sleep_for(kTick);
    }
  }
}

}  // namespace serve

#include "receiver/air_watch.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "appcore/child_process.h"

namespace receiver {
namespace {

constexpr std::size_t kReadSamples = 8192;

}  // namespace

std::size_t ChildSource::Read(std::span<std::uint8_t> out) {
  return child_.Read(out.data(), out.size());
}

DecoderStats DecodeStream(
    ByteSource& source, std::optional<double> rate_hz,
    const std::function<bool(const Group&, std::chrono::duration<double>)>& on_group,
    const std::atomic<bool>* stop, const LevelWatch* levels,
    const std::function<void(const DecoderStats&, std::chrono::duration<double>)>& on_stats) {
  MpxStream stream(source, rate_hz);
  std::optional<LevelMeter> meter;
  if (levels) meter.emplace(stream.rate_hz(), levels->options, levels->on_report);
  std::uint64_t samples = 0;
  bool stopped = false;
  MpxDecoder decoder(stream.rate_hz(), [&](const Group& group) {
    if (stopped) return;
    const std::chrono::duration<double> at(samples / stream.rate_hz());
    if (!on_group(group, at)) stopped = true;
  });
  std::vector<float> buffer(kReadSamples);
  while (!stopped && !(stop && stop->load())) {
    const std::size_t n = stream.Read(buffer);
    if (n == 0) break;
    samples += n;
    decoder.Feed(std::span<const float>(buffer.data(), n));
    if (meter) {
      const DecoderStats stats = decoder.stats();
      meter->CountBlocks(stats.blocks_received - stats.blocks_bad);
      meter->Feed(std::span<const float>(buffer.data(), n));
    }
    if (on_stats)
      on_stats(decoder.stats(), std::chrono::duration<double>(samples / stream.rate_hz()));
  }
  if (meter && levels->on_end) levels->on_end(meter->Now());
  return decoder.stats();
}

Confirmation ConfirmOnAir(const std::string& command, std::optional<double> rate_hz,
                          const rds::StationSettings& sent, std::chrono::milliseconds timeout,
                          const std::atomic<bool>* cancel) {
  Confirmation result;
  std::optional<app::ChildProcess> child;
  try {
    child.emplace(command);
  } catch (const std::exception& e) {
    result.failure = e.what();
    return result;
  }
  // The time runs on the clock, not the signal: a command that writes nothing is stopped too.
  std::mutex mutex;
  std::condition_variable wake;
  bool done = false;
  bool timed_out = false;
  std::thread watchdog([&] {
    std::unique_lock lock(mutex);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done && !(cancel && cancel->load())) {
      if (wake.wait_until(lock, std::min(deadline, std::chrono::steady_clock::now() +
                                                       std::chrono::milliseconds(100))) ==
              std::cv_status::timeout &&
          std::chrono::steady_clock::now() >= deadline) {
        timed_out = true;
        break;
      }
    }
    child->Stop();
  });

  AirCheck check(sent);
  ChildSource source(*child);
  try {
    DecodeStream(
        source, rate_hz,
        [&](const Group& group, auto) {
          check.Take(group);
          return !check.Confirmed();
        },
        cancel);
  } catch (const std::exception& e) {
    result.failure = e.what();
  }
  bool ended_by_itself = false;
  {
    std::lock_guard lock(mutex);
    done = true;
    ended_by_itself = !timed_out && !check.Confirmed() && !(cancel && cancel->load());
  }
  wake.notify_all();
  watchdog.join();
  // After Stop: a command that had already ended keeps its own exit status.
  if (result.failure.empty() && ended_by_itself) {
    result.failure = "the monitor command " + child->Ending();
  }
  result.verdict = check.Final();
  if (result.verdict == Verdict::kMismatch) {
    result.differences = Received(check.Differences(), true);
  } else if (result.verdict == Verdict::kIncomplete) {
    result.differences = check.Differences();
  }
  return result;
}

}  // namespace receiver

#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "rds/station.h"
#include "receiver/air_check.h"
#include "receiver/level_meter.h"
#include "receiver/mpx_decoder.h"
#include "receiver/mpx_input.h"

namespace app {
class ChildProcess;
}

namespace receiver {

// A command's standard output as a byte source.
class ChildSource final : public ByteSource {
 public:
  explicit ChildSource(app::ChildProcess& child) : child_(child) {}
  std::size_t Read(std::span<std::uint8_t> out) override;

 private:
  app::ChildProcess& child_;
};

// The levels measured beside the decoding (LevelMeter): every 10 s of signal to on_report,
// and those up to the end to on_end.
struct LevelWatch {
  MeterOptions options;
  LevelMeter::Report on_report;
  LevelMeter::Report on_end;
};

// Decodes a multiplex from a byte source until the source ends or the handler says stop.
// The handler sees every group with the position in the signal; on_stats, when given, the
// decoder's counts after each read with the position. Returns the decoder's stats.
// Throws std::runtime_error for an input that is not a multiplex.
DecoderStats DecodeStream(
    ByteSource& source, std::optional<double> rate_hz,
    const std::function<bool(const Group&, std::chrono::duration<double>)>& on_group,
    const std::atomic<bool>* stop = nullptr, const LevelWatch* levels = nullptr,
    const std::function<void(const DecoderStats&, std::chrono::duration<double>)>& on_stats =
        nullptr);

// What a monitor command showed after a send.
struct Confirmation {
  Verdict verdict = Verdict::kNoRds;
  // kMismatch: the fields received with another value; kIncomplete: those not received.
  std::vector<FieldDifference> differences;
  std::string failure;                       // the command could not be started or ended by itself
};

// Runs command (which writes the station's multiplex to its standard output), compares what
// it receives with sent, and returns as soon as everything sent is on air, or after timeout.
// The command is stopped either way. cancel, when set by another thread, ends it early.
Confirmation ConfirmOnAir(const std::string& command, std::optional<double> rate_hz,
                          const rds::StationSettings& sent, std::chrono::milliseconds timeout,
                          const std::atomic<bool>* cancel = nullptr);

}  // namespace receiver

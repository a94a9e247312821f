#include "serve/reception_watch.h"

#include <cstdio>

namespace serve {
namespace {

// IEC 62106: 1187.5 bit/s in blocks of 26 bits.
constexpr double kBlocksPerSecond = 1187.5 / 26;

}  // namespace

void ReceptionWatch::Stats(const receiver::DecoderStats& stats, Position at) {
  now_ = at;
  pilot_ = stats.pilot;
  pilot_seen_ = pilot_seen_ || stats.pilot;
  window_.push_back({at, stats.blocks_received - stats.blocks_bad});
  // Keeps the newest sample that is at least a window old, as the window's start.
  while (window_.size() > 2 && now_ - window_[1].at >= kReceptionWindow) window_.pop_front();
}

void ReceptionWatch::Restart() {
  window_.clear();
  now_ = Position(0);
  last_group_.reset();
  // A pilot seen before the command ended is still expected.
}

std::optional<double> ReceptionWatch::BlockErrorRate() const {
  if (window_.size() < 2 || now_ - window_.front().at < kReceptionWindow) return std::nullopt;
  const double span = (now_ - window_.front().at).count();
  const double good = static_cast<double>(window_.back().good - window_.front().good);
  return std::max(0.0, 1.0 - good / (span * kBlocksPerSecond));
}

std::optional<Fault> ReceptionWatch::RdsLost() const {
  const Position since = last_group_.value_or(Position(0));
  if (now_ - since < kRdsSilence) return std::nullopt;
  return Fault{last_group_ ? "no RDS received from the monitor for " +
                                 std::to_string(static_cast<long>((now_ - since).count())) + " s"
                           : "no RDS received from the monitor",
               {}};
}

std::optional<Fault> ReceptionWatch::PilotLost() const {
  if (!pilot_seen_ || pilot_) return std::nullopt;
  return Fault{"the stereo pilot is gone", {}};
}

std::optional<Fault> ReceptionWatch::PoorReception() const {
  const std::optional<double> rate = BlockErrorRate();
  // Without any valid block it is no RDS, not poor reception.
  if (!rate || *rate <= kPoorBlockErrorRate || window_.back().good == window_.front().good)
    return std::nullopt;
  char text[96];
  std::snprintf(text, sizeof text, "poor reception: %.0f%% of the blocks lost over %lld s",
                *rate * 100, static_cast<long long>(kReceptionWindow.count()));
  return Fault{text, {}};
}

}  // namespace serve

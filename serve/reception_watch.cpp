#include "serve/reception_watch.h"

#include <cstdio>

namespace serve {
namespace {

// IEC 62106: 1187.5 bit/s in blocks of 26 bits.
constexpr double kBlocksPerSecond = 1187.5 / 26;

// A PS on air is eight characters; the spaces that fill it are no part of what people read.
std::string Trimmed(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

std::vector<Measurement> FieldMeasurements(const receiver::AirCheck* check) {
  Measurement pi{Condition::kPiError, check != nullptr, std::nullopt};
  Measurement fields{Condition::kMismatch, check != nullptr, std::nullopt};
  if (!check) return {pi, fields};
  bool pi_open = false, fields_open = false;
  for (const receiver::FieldDifference& d : check->Differences()) {
    const bool is_pi = d.field == receiver::Field::kPi;
    if (d.on_air.empty()) {
      (is_pi ? pi_open : fields_open) = true;
      continue;
    }
    Measurement& m = is_pi ? pi : fields;
    if (!m.fault) m.fault.emplace();
    const FieldValues values{receiver::FieldName(d.field), Trimmed(d.on_air), Trimmed(d.expected)};
    m.fault->detail += (m.fault->detail.empty() ? "" : "; ") + values.field + " on air '" +
                       values.on_air + "', sent '" + values.sent + "'";
    m.fault->fields.push_back(values);
  }
  if (!pi.fault && pi_open) pi.known = false;
  if (!fields.fault && fields_open) fields.known = false;
  return {pi, fields};
}

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

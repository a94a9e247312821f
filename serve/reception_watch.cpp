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

std::vector<Measurement> ReceptionMeasurements(const ReceptionWatch& watch) {
  std::optional<Fault> rds_lost = watch.RdsLost();
  const bool rds_known = rds_lost || watch.RdsHeard();
  return {{Condition::kRdsLost, rds_known, std::move(rds_lost)},
          {Condition::kPilotLost, true, watch.PilotLost()},
          {Condition::kPoorReception, watch.BlockErrorRate().has_value(), watch.PoorReception()}};
}

std::vector<Measurement> FieldMeasurements(receiver::AirEvent event,
                                           const std::vector<receiver::FieldDifference>& fields) {
  using receiver::AirEvent;
  Measurement pi{Condition::kPiError, false, std::nullopt};
  Measurement others{Condition::kMismatch, false, std::nullopt};
  switch (event) {
    case AirEvent::kNone:
    case AirEvent::kNoRds:
      return {};
    case AirEvent::kConfirmed:
      pi.known = others.known = true;
      return {pi, others};
    case AirEvent::kIncomplete:
      // What was received matches: a field not received is the only thing not known.
      pi.known = others.known = true;
      for (const receiver::FieldDifference& d : fields)
        (d.field == receiver::Field::kPi ? pi : others).known = false;
      break;
    case AirEvent::kMismatch:
    case AirEvent::kChangedOnAir:
      // The fields received with another value; of the others nothing is said.
      for (const receiver::FieldDifference& d : fields) {
        if (!d.received()) continue;
        Measurement& m = d.field == receiver::Field::kPi ? pi : others;
        m.known = true;
        if (!m.fault) m.fault.emplace();
        const FieldValues values{receiver::FieldName(d.field), Trimmed(d.on_air),
                                 Trimmed(d.expected)};
        m.fault->detail += (m.fault->detail.empty() ? "" : "; ") + values.field + " on air '" +
                           values.on_air + "', sent '" + values.sent + "'";
        m.fault->fields.push_back(values);
      }
      break;
  }
  std::vector<Measurement> known;
  for (const Measurement& m : {pi, others})
    if (m.known) known.push_back(m);
  return known;
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

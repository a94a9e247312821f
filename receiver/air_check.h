#pragma once

#include <string>
#include <vector>

#include "rds/station.h"
#include "receiver/station_view.h"

namespace receiver {

// One field whose value on air is not (yet) what was sent.
struct FieldDifference {
  Field field;
  std::string on_air;  // empty while the field has not been received with evidence
  std::string expected;

  bool received() const { return !on_air.empty(); }
};

// What the comparison of the air with a send comes to.
enum class Verdict {
  kConfirmed,   // every field sent is on air
  kMismatch,    // a field received with evidence differs from what was sent
  kIncomplete,  // what is received matches, but some fields were not received with evidence
                // (a weak signal)
  kNoRds,       // no field received with evidence: no RDS, noise, the wrong rate or frequency
};

// Compares what is received with what a send put into the encoder, field by field, each
// field as StationView takes it (with evidence): confirmed as soon as PI, PS, PTY, TP, TA,
// MS, DI and the AF set all match. A field is never reported as differing on a value
// received without evidence, so noise and a weak signal are no mismatch.
class AirCheck {
 public:
  explicit AirCheck(const rds::StationSettings& sent);

  // Takes one group; returns the fields whose value on air changed.
  std::vector<Field> Take(const Group& group) { return view_.Take(group); }

  bool Confirmed() const;
  // Every field that does not match (yet), in Field order: those received with another
  // value, and those not received with evidence.
  std::vector<FieldDifference> Differences() const;
  // The verdict when the time to confirm has run out (kConfirmed as soon as it holds).
  Verdict Final() const;

  const StationView& view() const { return view_; }
  const AirFields& expected() const { return expected_; }

 private:
  AirFields expected_;
  StationView view_;
};

// The fields a receiver gets from the encoder image of these settings.
AirFields FieldsOf(const rds::StationSettings& settings);

// "PS,AF": the names of the fields that differ.
std::string DifferenceNames(const std::vector<FieldDifference>& differences);

// Only the differences of fields received with evidence (what a mismatch names), or only
// those of fields not received (what a weak signal left open).
std::vector<FieldDifference> Received(std::vector<FieldDifference> differences, bool received);

}  // namespace receiver

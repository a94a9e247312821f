#pragma once

#include <string>
#include <vector>

#include "rds/station.h"
#include "receiver/station_view.h"

namespace receiver {

// One field whose value on air is not what was sent.
struct FieldDifference {
  Field field;
  std::string on_air;  // empty when the field was not received whole
  std::string expected;
};

enum class Verdict { kWaiting, kConfirmed, kMismatch, kNoRds };

// Compares what is received with what a send put into the encoder: confirmed as soon as PI,
// the complete PS twice in a row, PTY, TP, TA, MS, DI and the AF set all match.
class AirCheck {
 public:
  explicit AirCheck(const rds::StationSettings& sent);

  void Take(const Group& group) { view_.Take(group); }

  bool Confirmed() const;
  // Every field that does not match (yet), in Field order.
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

}  // namespace receiver

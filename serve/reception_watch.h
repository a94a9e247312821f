#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "receiver/air_check.h"
#include "receiver/air_guard.h"
#include "receiver/mpx_decoder.h"
#include "serve/alarm_conditions.h"

namespace serve {

// Reception over this stretch of signal decides poor reception...
constexpr std::chrono::seconds kReceptionWindow{20};
// ...when more of its blocks than this share are lost.
constexpr double kPoorBlockErrorRate = 0.5;
// No valid group for this long of signal is no RDS.
constexpr std::chrono::seconds kRdsSilence{10};

// What the monitor's decoder says about reception, on the signal's own time (its position
// in the multiplex, so a file read faster than real time is judged as it would be live):
// no RDS, a stereo pilot that was there and has gone, poor reception.
class ReceptionWatch {
 public:
  using Position = std::chrono::duration<double>;

  // The decoder's counts at a position in the signal; call often (each read of samples).
  void Stats(const receiver::DecoderStats& stats, Position at);
  // A group with at least one valid block came at this position.
  void Group(Position at) { last_group_ = at; }
  // The monitor's command started anew: a new signal, a new position count.
  void Restart();

  // Each a fault, or nullopt when all is well (or too little signal has come to say).
  std::optional<Fault> RdsLost() const;
  std::optional<Fault> PilotLost() const;
  std::optional<Fault> PoorReception() const;
  // A group has come since the command started.
  bool RdsHeard() const { return last_group_.has_value(); }
  // Blocks lost over the window, 0 to 1; nullopt before a whole window has come.
  std::optional<double> BlockErrorRate() const;

 private:
  struct Sample {
    Position at;
    std::uint64_t good;  // valid blocks so far
  };
  std::deque<Sample> window_;
  Position now_{0};
  std::optional<Position> last_group_;
  bool pilot_seen_ = false;
  bool pilot_ = false;
};

// rds-lost, pilot-lost and poor-reception as the watch sees them now: rds-lost unknown until
// a group or the silence has come, poor reception until a whole window has.
std::vector<Measurement> ReceptionMeasurements(const ReceptionWatch& watch);

// pi-error and mismatch as a verdict of the monitor shows them, from evidence only: a field
// received with another value is a fault; a confirmation clears both; what a weak signal
// received matches, so it clears what it received and leaves the rest unknown; no RDS says
// nothing either way.
std::vector<Measurement> FieldMeasurements(receiver::AirEvent event,
                                           const std::vector<receiver::FieldDifference>& fields);

}  // namespace serve

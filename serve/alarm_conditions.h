#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace serve {

// What can be wrong with the station, each raised and cleared on its own.
enum class Condition : std::uint8_t {
  kRdsLost,        // the monitor runs but decodes no RDS
  kPiError,        // a PI on air that is not the one sent
  kMismatch,       // another field on air differs from the send
  kPilotLost,      // a stereo pilot that was there is gone
  kMonitorFailed,  // the monitor command keeps ending, fails to start or delivers nothing
  kSendFailed,     // the encoder's port is missing or sends fail
  kPoorReception,  // too many block errors to judge what is on air
  kRdsLevel,       // the level meters: RDS injection, pilot injection, peak deviation and
  kPilotLevel,     // multiplex power outside their limits
  kOverdeviation,
  kMpxPower,
};
constexpr std::size_t kConditionCount = 11;

// "rds-lost", "pi-error", …: the names in STATUS, events and the history.
const char* ConditionName(Condition condition);
std::optional<Condition> ConditionNamed(std::string_view name);

constexpr std::chrono::seconds kDefaultTripDelay{30};
constexpr std::chrono::seconds kDefaultClearDelay{10};

struct AlarmDelays {
  std::chrono::milliseconds trip = kDefaultTripDelay;    // a fault must hold this long
  std::chrono::milliseconds clear = kDefaultClearDelay;  // and be gone this long
};

// A moment on both clocks: delays run on the steady one, people read the wall one.
struct Moment {
  std::chrono::steady_clock::time_point steady;
  std::chrono::system_clock::time_point wall;
  static Moment Now();
  Moment operator+(std::chrono::steady_clock::duration d) const { return {steady + d, wall + d}; }
};

// One field on air that is not what was sent, as events tell it.
struct FieldValues {
  std::string field;  // "PS"
  std::string on_air;
  std::string sent;
  bool operator==(const FieldValues&) const = default;
};

// What a measurement found wrong: a line for people, and the fields when it is about them.
struct Fault {
  std::string detail;
  std::vector<FieldValues> fields;
  bool operator==(const Fault&) const = default;
};

// One measurement of one condition: known with its fault (or nullopt, no fault), or not
// known (the measurement can say nothing now).
struct Measurement {
  Condition condition;
  bool known = false;
  std::optional<Fault> fault;
};

// A condition that tripped (an alarm) or cleared (a recovery).
struct ConditionChange {
  Condition condition;
  bool raised;
  Fault fault;                  // what was wrong (the last measurement of it)
  Moment since;                 // when the fault was first seen
  std::optional<Moment> ended;  // with a recovery: when the fault was first seen gone
};

struct ActiveCondition {
  Condition condition;
  Fault fault;
  Moment since;
};

// The alarm conditions: each measurement says, for one condition, whether its fault is there
// now. A fault that holds for the trip delay raises the condition; once raised, its absence
// must hold for the clear delay before the condition clears. A measurement that flips back
// within a delay starts it over, so a condition never chatters. While reception is poor
// (its fault seen, at once), PI and field measurements are no evidence either way: those
// conditions neither trip nor clear until good reception shows what holds.
class AlarmConditions {
 public:
  explicit AlarmConditions(AlarmDelays delays) : delays_(delays) {}

  // One measurement: fault, or nullopt when the condition's fault is not there. Returns the
  // conditions this raised or cleared (a delay may have run out since the last call).
  std::vector<ConditionChange> Observe(Condition condition, std::optional<Fault> fault, Moment now);
  // The measurement can say nothing now (the monitor is not running): the condition neither
  // trips nor clears until it can again. A fault seen before and after counts from its
  // start, as does its absence.
  std::vector<ConditionChange> Unknown(Condition condition, Moment now);
  // Observe or Unknown, as the measurement says.
  std::vector<ConditionChange> Take(const Measurement& measurement, Moment now) {
    return measurement.known ? Observe(measurement.condition, measurement.fault, now)
                             : Unknown(measurement.condition, now);
  }
  // Delays that ran out since the last call. Call at least once a second.
  std::vector<ConditionChange> Tick(Moment now);

  // The raised conditions in Condition order, each with when its fault was first seen.
  std::vector<ActiveCondition> Active() const;
  bool IsActive(Condition condition) const;
  const AlarmDelays& delays() const { return delays_; }

 private:
  enum class Seen : std::uint8_t { kNever, kClear, kFault };
  struct State {
    Seen seen = Seen::kNever;
    bool known = false;   // the last measurement could tell
    Moment seen_since{};  // when `seen` last changed
    bool active = false;
    Moment fault_since{};  // the start of the fault that raised it (or waits to)
    Fault fault;
  };

  void Set(Condition condition, Seen seen, Moment now);
  bool Suppressed(Condition condition) const;

  AlarmDelays delays_;
  std::array<State, kConditionCount> states_{};
};

}  // namespace serve

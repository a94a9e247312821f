#include "serve/alarm_conditions.h"

#include <algorithm>

namespace serve {
namespace {

// The order of Condition.
constexpr std::array<const char*, kConditionCount> kNames = {
    "rds-lost",       "pi-error",  "mismatch",    "pilot-lost",    "monitor-failed", "send-failed",
    "poor-reception", "rds-level", "pilot-level", "overdeviation", "mpx-power"};
static_assert(std::string_view(kNames[static_cast<std::size_t>(Condition::kPoorReception)]) ==
              "poor-reception");
static_assert(std::string_view(kNames[kConditionCount - 1]) == "mpx-power");

// Measurements that poor reception makes worthless.
bool JudgedFromFields(Condition condition) {
  return condition == Condition::kPiError || condition == Condition::kMismatch;
}

}  // namespace

const char* ConditionName(Condition condition) {
  return kNames[static_cast<std::size_t>(condition)];
}

std::optional<Condition> ConditionNamed(std::string_view name) {
  const auto found = std::find(kNames.begin(), kNames.end(), name);
  if (found == kNames.end()) return std::nullopt;
  return static_cast<Condition>(found - kNames.begin());
}

Moment Moment::Now() {
  return {std::chrono::steady_clock::now(), std::chrono::system_clock::now()};
}

bool AlarmConditions::Suppressed(Condition condition) const {
  return JudgedFromFields(condition) &&
         states_[static_cast<std::size_t>(Condition::kPoorReception)].seen == Seen::kFault;
}

void AlarmConditions::Set(Condition condition, Seen seen, Moment now) {
  State& state = states_[static_cast<std::size_t>(condition)];
  if (state.seen == seen) return;
  state.seen = seen;
  state.seen_since = now;
  if (seen == Seen::kFault && !state.active) state.fault_since = now;
}

std::vector<ConditionChange> AlarmConditions::Observe(Condition condition,
                                                      std::optional<Fault> fault, Moment now) {
  if (Suppressed(condition)) return Unknown(condition, now);
  State& state = states_[static_cast<std::size_t>(condition)];
  if (fault) state.fault = std::move(*fault);
  Set(condition, fault ? Seen::kFault : Seen::kClear, now);
  state.known = true;
  if (condition == Condition::kPoorReception && state.seen == Seen::kFault) {
    for (std::size_t i = 0; i < kConditionCount; ++i) {
      if (JudgedFromFields(static_cast<Condition>(i))) states_[i].known = false;
    }
  }
  return Tick(now);
}

std::vector<ConditionChange> AlarmConditions::Unknown(Condition condition, Moment now) {
  states_[static_cast<std::size_t>(condition)].known = false;
  return Tick(now);
}

std::vector<ConditionChange> AlarmConditions::Tick(Moment now) {
  std::vector<ConditionChange> changes;
  for (std::size_t i = 0; i < kConditionCount; ++i) {
    State& state = states_[i];
    if (!state.known) continue;
    const auto held = now.steady - state.seen_since.steady;
    if (!state.active && state.seen == Seen::kFault && held >= delays_.trip) {
      state.active = true;
      changes.push_back({static_cast<Condition>(i), true, state.fault, state.fault_since, {}});
    } else if (state.active && state.seen == Seen::kClear && held >= delays_.clear) {
      state.active = false;
      changes.push_back(
          {static_cast<Condition>(i), false, state.fault, state.fault_since, state.seen_since});
    }
  }
  return changes;
}

std::vector<ActiveCondition> AlarmConditions::Active() const {
  std::vector<ActiveCondition> active;
  for (std::size_t i = 0; i < kConditionCount; ++i) {
    if (states_[i].active)
      active.push_back({static_cast<Condition>(i), states_[i].fault, states_[i].fault_since});
  }
  return active;
}

bool AlarmConditions::IsActive(Condition condition) const {
  return states_[static_cast<std::size_t>(condition)].active;
}

}  // namespace serve

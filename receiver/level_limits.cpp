#include "receiver/level_limits.h"

#include <cstdio>

namespace receiver {
namespace {

std::string Format(const char* format, double a, double b) {
  char text[96];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// "RDS injection 1.50 kHz, below 2.0 kHz", or nothing within the limits.
std::optional<std::string> Outside(const char* what, double khz, double low, double high) {
  const std::string name = what;
  if (khz < low) return name + Format(" %.2f kHz, below %.1f kHz", khz, low);
  if (khz > high) return name + Format(" %.2f kHz, above %.1f kHz", khz, high);
  return std::nullopt;
}

}  // namespace

std::string_view LevelConditionName(LevelCondition condition) {
  switch (condition) {
    case LevelCondition::kRdsLevel:
      return "rds-level";
    case LevelCondition::kPilotLevel:
      return "pilot-level";
    case LevelCondition::kOverdeviation:
      return "overdeviation";
    case LevelCondition::kMpxPower:
      return "mpx-power";
  }
  return "";
}

std::array<LevelJudgement, kLevelConditionCount> JudgeLevels(const Levels& levels,
                                                             const LevelLimits& limits) {
  std::array<LevelJudgement, kLevelConditionCount> judged;
  for (std::size_t i = 0; i < judged.size(); ++i) {
    judged[i].condition = static_cast<LevelCondition>(i);
  }
  if (!levels.scaled || levels.block_errors_percent > kJudgedBlockErrorPercent) return judged;
  for (LevelJudgement& j : judged) j.judged = true;
  judged[0].fault =
      Outside("RDS injection", levels.rds_khz, limits.rds_min_khz, limits.rds_max_khz);
  judged[1].fault = Outside("pilot", levels.pilot_khz, limits.pilot_min_khz, limits.pilot_max_khz);
  if (levels.over_percent > kOverdeviationPercent) {
    judged[2].fault =
        Format("%.2f%% of the samples above %.1f kHz", levels.over_percent, levels.over_khz) +
        Format(" (peak %.1f kHz over %.0f s)", levels.peak_khz, levels.span.count());
  }
  if (limits.mpx_power_max_dbr) {
    judged[3].judged = levels.mpx_power_span >= LevelMeter::kPowerSpan;
    if (judged[3].judged && levels.mpx_power_dbr > *limits.mpx_power_max_dbr) {
      judged[3].fault = Format("MPX power %+.1f dBr, above %+.1f dBr", levels.mpx_power_dbr,
                               *limits.mpx_power_max_dbr);
    }
  }
  return judged;
}

std::vector<LevelFault> LevelFaults(const Levels& levels, const LevelLimits& limits) {
  std::vector<LevelFault> faults;
  for (const LevelJudgement& j : JudgeLevels(levels, limits)) {
    if (j.fault) faults.push_back({j.condition, *j.fault});
  }
  return faults;
}

}  // namespace receiver

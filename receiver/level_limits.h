#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/level_meter.h"

namespace receiver {

// Where the levels may be, in kHz (dBr for the power). The defaults are common practice: RDS
// at 2 to 7.5 kHz, the pilot at 8 to 10% of 75 kHz, no more than 0.1% of the samples above
// 75 kHz; MPX power is only judged when a limit is given (ITU-R BS.412's is 0 dBr).
struct LevelLimits {
  double rds_min_khz = 2.0;
  double rds_max_khz = 7.5;
  double pilot_min_khz = 6.0;
  double pilot_max_khz = 7.5;
  double deviation_max_khz = 75;
  std::optional<double> mpx_power_max_dbr;
};

// Above this share of samples over deviation_max_khz, the deviation is too high.
constexpr double kOverdeviationPercent = 0.1;
// Levels are judged only while the RDS decodes this well or better: a signal too poor to
// decode is not evidence of the station's levels (noise raises the peaks, an empty channel
// has no pilot).
constexpr double kJudgedBlockErrorPercent = 50;

enum class LevelCondition { kRdsLevel, kPilotLevel, kOverdeviation, kMpxPower };
constexpr std::size_t kLevelConditionCount = 4;

// The condition's name in alarms: "rds-level", "pilot-level", "overdeviation", "mpx-power".
std::string_view LevelConditionName(LevelCondition condition);

struct LevelFault {
  LevelCondition condition;
  std::string text;  // e.g. "RDS injection 1.50 kHz, below 2.0 kHz"
};

// One condition judged on the levels: judged false when these levels say nothing of it
// (without a scale, on a signal too poor to decode, MPX power over less than 60 s), else its
// fault, or none within the limits.
struct LevelJudgement {
  LevelCondition condition = LevelCondition::kRdsLevel;
  bool judged = false;
  std::optional<std::string> fault;  // e.g. "RDS injection 1.50 kHz, below 2.0 kHz"
};
std::array<LevelJudgement, kLevelConditionCount> JudgeLevels(const Levels& levels,
                                                             const LevelLimits& limits);

// The faults of JudgeLevels, in the order of LevelCondition.
std::vector<LevelFault> LevelFaults(const Levels& levels, const LevelLimits& limits);

}  // namespace receiver

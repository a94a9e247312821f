#pragma once

#include <string>
#include <vector>

#include "receiver/level_limits.h"
#include "receiver/level_meter.h"

namespace cli {

// The levels as monitor prints them: "levels pilot 6.75 kHz, RDS 3.40 kHz, …" for text, and
// {"levels":{…}} for JSON, with the faults' condition names.
std::string LevelsText(const receiver::Levels& levels);
std::string LevelsJson(const receiver::Levels& levels,
                       const std::vector<receiver::LevelFault>& faults);

}  // namespace cli

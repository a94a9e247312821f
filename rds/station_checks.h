#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "rds/station.h"

namespace rds {

// The mistakes stations make most, found in what a send would put on the air. Each is a
// warning only: the values are sent as they are.
enum class WarningKind {
  kPiCorrected,  // the PI text is no four hex digits: the send makes it FFFF
  kPiDefault,    // FFFF, 0000 or country code 0: a factory default or unset PI
  kTaWithoutTp,  // TA 1 while TP is 0
  kAfTwice,      // one frequency in two AF boxes
  kPsDefault,    // PS still the program's default "FM RADIO"
  kPiNotCall,    // the PI is not that of the call letters given
};

struct StationWarning {
  WarningKind kind;
  std::string value;   // the PI typed, the PI, the frequency in MHz ('.' as mark), the PS
  std::string detail;  // kPiCorrected: the PI sent; kPiNotCall: the call letters
};

// A PI that receivers cannot tell from other stations' factory-set ones.
bool IsDefaultPi(std::uint16_t pi);

// The warnings for settings, in the order above. With call letters (any case), a PI other
// than theirs is one too.
std::vector<StationWarning> CheckStation(const StationSettings& settings,
                                         const std::optional<std::string>& call_letters = {});

// One line in English, without a lead: "PI FFFF is the factory default or unset: ...".
std::string WarningText(const StationWarning& warning);

// Whether a warning is about field ("PI", "TA", "TP", "AF", "PS").
bool WarningConcerns(const StationWarning& warning, std::string_view field);

}  // namespace rds

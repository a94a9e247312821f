#pragma once

#include <array>
#include <optional>
#include <string>

#include "rds/station.h"

namespace transfer {

// The 14 lines "PS=", "PTY=", "TP=", "TA=", "AF1=" … "AF7=", "MS=", "PI=", "DI=" with
// their values, as of the last completed send; 14 empty lines before the first one.
constexpr std::size_t kLastSentLines = 14;
using LastSentRecord = std::array<std::string, kLastSentLines>;

// The record of a send, from the window's values as they are after the transfer: texts
// as they stand (PI and AF as the send corrected them), list positions in decimal (-1
// for no selection), DI as four 0/1 characters for items DPTY, Comp., Art. H., Stereo.
LastSentRecord BuildLastSentRecord(const rds::StationSettings& settings);

// The settings a record was built from; nullopt for the empty record of no send, or one
// whose lines are not those BuildLastSentRecord writes.
std::optional<rds::StationSettings> SettingsOfRecord(const LastSentRecord& record);

}  // namespace transfer

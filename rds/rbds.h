#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rds {

// Which list names the program types: the European one, or North America's RBDS one. The
// codes sent are the same; only their names differ (code 10 is "Pop M" and "Country").
enum class PtyNames { kRds, kRbds };

constexpr int kPtyCount = 32;

// The name of PTY code 0..31 in the chosen list; "" for any other code.
std::string_view PtyName(int code, PtyNames names);

// The PI code of United States call letters by the RBDS method: four letters beginning with K
// or W, or the three-letter calls the method's table lists; any letter case, and a suffix such
// as "-FM" is left out. Throws std::invalid_argument saying why for anything else.
std::uint16_t PiFromCallLetters(std::string_view call);

// The call letters a PI code stands for by the same method; nullopt for a code that stands for
// none (a network's, Canada's, or one outside the method's ranges).
std::optional<std::string> CallLettersFromPi(std::uint16_t pi);

}  // namespace rds

#include "cmdline/duration.h"

#include <cctype>

#include "cmdline/quote.h"
#include "cmdline/usage_error.h"

namespace cmdline {

std::chrono::seconds ParseDuration(const std::string& option, const std::string& value) {
  const char unit = value.empty() ? 's' : value.back();
  const bool bare = std::isdigit(static_cast<unsigned char>(unit)) != 0;
  const std::string number = bare ? value : value.substr(0, value.size() - 1);
  const std::chrono::seconds scale = unit == 'd'   ? std::chrono::hours{24}
                                     : unit == 'h' ? std::chrono::hours{1}
                                     : unit == 'm' ? std::chrono::minutes{1}
                                                   : std::chrono::seconds{1};
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos ||
      number.size() > 6 || (!bare && unit != 's' && unit != 'm' && unit != 'h' && unit != 'd')) {
    throw UsageError("option " + option + ": expected a duration such as 90s, 10m, 1h or 7d, got " +
                     Quote(value));
  }
  return scale * static_cast<long>(std::stoul(number));
}

}  // namespace cmdline

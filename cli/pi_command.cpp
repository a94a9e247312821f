#include "cli/pi_command.h"

#include <cstdio>
#include <stdexcept>
#include <string>

#include "cmdline/quote.h"
#include "cmdline/usage_error.h"
#include "rds/rbds.h"

namespace cli {
namespace {

constexpr const char* kPiHelp =
    "Usage: rdsq7-cli pi CALL\n"
    "  or:  rdsq7-cli pi HHHH\n"
    "North America (RBDS): prints the PI code of United States call letters (K or W and\n"
    "three letters, or one of the three-letter calls the method lists; a suffix such as\n"
    "-FM is left out), or the call letters a PI code stands for.\n"
    "  -h, --help            show this text\n";

bool IsPiText(const std::string& text) {
  return text.size() == 4 && text.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
}

}  // namespace

int PiCommand(cmdline::Arguments& args, std::ostream& out) {
  const auto& all = args.All();
  if (all.size() == 1 && (all[0] == "--help" || all[0] == "-h")) {
    out << kPiHelp;
    return 0;
  }
  if (all.size() != 1 || all[0].empty() || all[0][0] == '-') {
    throw cmdline::UsageError(all.size() > 1 ? "pi takes one argument: call letters or a PI"
                                             : "pi needs call letters or a PI");
  }
  const std::string& given = all[0];
  if (IsPiText(given)) {
    const auto pi = static_cast<std::uint16_t>(std::stoul(given, nullptr, 16));
    const auto call = rds::CallLettersFromPi(pi);
    if (!call) {
      throw std::runtime_error("PI " + cmdline::Quote(given) +
                               " stands for no United States call letters");
    }
    out << *call << '\n';
    return 0;
  }
  std::uint16_t pi = 0;
  try {
    pi = rds::PiFromCallLetters(given);
  } catch (const std::invalid_argument& e) {
    throw cmdline::UsageError(e.what());
  }
  char text[8];
  std::snprintf(text, sizeof text, "%04X\n", pi);
  out << text;
  return 0;
}

}  // namespace cli

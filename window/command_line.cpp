#include "window/command_line.h"

namespace app {
namespace {

constexpr const char* kHelp =
    "Usage: rdsq7 [--help | --version]\n"
    "Opens the window of the RDS Encoder Q7 control program: set the station's RDS values\n"
    "(PS, PI, PTY, TP, TA, M/S, DI, AF) and send them to the encoder on a parallel or\n"
    "serial port. Only one window runs per user. Any other argument is ignored.\n"
    "Options:\n"
    "  -h, --help            show this text and exit\n"
    "      --version         print the version and exit\n"
    "The window keeps the station settings in tolvex.dat and reads its help text from\n"
    "tvxhelp.rtf and a translation from vuvur.lng; rdsq7-cli sends without the window.\n";

// Printed after the name and version.
constexpr const char* kCopyright =
    "Copyright (c) 2026 The RDS Encoder Q7 control program authors\n"
    "MIT License: free to use, change and pass on; no warranty.\n";

}  // namespace

std::optional<int> AnswerCommandLine(const std::vector<std::string>& args, std::ostream& out) {
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") {
      out << kHelp;
    } else if (arg == "--version") {
      out << "rdsq7 " RDSQ7_VERSION "\n" << kCopyright;
    } else {
      continue;
    }
    // Nothing printed (a closed pipe) is no success.
    return out.flush() ? 0 : 1;
  }
  return std::nullopt;
}

}  // namespace app

#include "window/command_line.h"

#include <cstdio>
#ifdef _WIN32
#include <windows.h>
#endif

#include "appcore/version_text.h"

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

}  // namespace

std::optional<std::string> CommandLineAnswer(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") return std::string(kHelp);
    if (arg == "--version") return std::string("rdsq7 " RDSQ7_VERSION "\n") + kCopyrightNotice;
  }
  return std::nullopt;
}

std::optional<int> AnswerCommandLine(const std::vector<std::string>& args, std::ostream& out) {
  const std::optional<std::string> answer = CommandLineAnswer(args);
  if (!answer) return std::nullopt;
  out << *answer;
  // Nothing printed (a closed pipe) is no success.
  return out.flush() ? 0 : 1;
}

void UseParentConsole() {
#ifdef _WIN32
  // A window program has no console of its own: print in the one it was started from,
  // unless its output already goes somewhere (a pipe or a file).
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE) return;
  if (::AttachConsole(ATTACH_PARENT_PROCESS)) {
    std::FILE* reopened = std::freopen("CONOUT$", "w", stdout);
    (void)reopened;
  }
#endif
}

}  // namespace app

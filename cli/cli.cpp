#include "cli/cli.h"

#include <algorithm>
#include <array>
#include <exception>

#include "appcore/version_text.h"
#include "cli/encode_command.h"
#include "cli/history_command.h"
#include "cli/monitor_command.h"
#include "cli/pi_command.h"
#include "cli/ports_command.h"
#include "cli/send_command.h"
#include "cli/serve_command.h"
#include "cmdline/arguments.h"
#include "cmdline/quote.h"
#include "cmdline/usage_error.h"

namespace cli {
namespace {

constexpr const char* kUsage =
    "Usage: rdsq7-cli COMMAND [options]\n"
    "  or:  rdsq7-cli --help | --version\n"
    "Encodes the station's RDS values and sends them to the RDS Encoder Q7 without the\n"
    "window.\n"
    "Commands:\n"
    "  encode                print the encoder image a send would clock out\n"
    "  send                  run a send; --dry-run records the lines instead of driving\n"
    "                        a port\n"
    "  serve                 keep a station state and send its changes, taken over the\n"
    "                        network\n"
#ifdef _WIN32
    "  ports                 list the serial and parallel ports\n"
#else
    "  ports                 list the port devices; point the window's COM1 and COM2 at\n"
    "                        any of them\n"
#endif
    "  monitor               decode the station's RDS from its FM multiplex; --expect\n"
    "                        confirms that what was sent is on air\n"
    "  pi CALL|HHHH          North America (RBDS): the PI of call letters, or the call\n"
    "                        letters of a PI\n"
    "  history               print what serve --history recorded, with the time on air\n"
    "                        as sent\n"
    "Options:\n"
    "  -h, --help            show this text; with a command, that command's options\n"
    "      --version         print the version\n"
    "Run 'rdsq7-cli COMMAND --help' for the options of a command.\n"
    "Exit status: 0 done, 1 failed (a file, a port, a send), 2 wrong usage; monitor: 3 no\n"
    "RDS received, 4 too weak a signal to confirm every field.\n";

constexpr std::array<const char*, 7> kCommands = {"encode", "send",    "serve",
                                                  "ports",  "monitor", "pi", "history"};

bool IsCommand(const std::string& name) {
  return std::find(kCommands.begin(), kCommands.end(), name) != kCommands.end();
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  // "--" before the command only ends the options, as everywhere.
  const bool dashes = !args.empty() && args.front() == "--";
  const std::string command = args.size() > (dashes ? 1U : 0U) ? args[dashes ? 1 : 0] : "";
  try {
    if (command.empty()) throw cmdline::UsageError("no command given");
    cmdline::Arguments rest(std::vector<std::string>(args.begin() + (dashes ? 2 : 1), args.end()));
    if (!dashes && (command == "--help" || command == "-h" || command == "help")) {
      out << kUsage;
      return 0;
    }
    if (!dashes && command == "--version") {
      out << "rdsq7-cli " RDSQ7_VERSION "\n" << app::kCopyrightNotice;
      return 0;
    }
    int status = 0;
    if (command == "encode") {
      status = EncodeCommand(rest, out, err);
    } else if (command == "send") {
      status = SendCommand(rest, out, err);
    } else if (command == "serve") {
      status = ServeCommand(rest, out, err);
    } else if (command == "monitor") {
      status = MonitorCommand(rest, out, err);
    } else if (command == "history") {
      status = HistoryCommand(rest, out, err);
    } else if (command == "ports") {
      status = PortsCommand(rest, out);
    } else if (command == "pi") {
      status = PiCommand(rest, out);
    } else if (!dashes && command[0] == '-') {
      throw cmdline::UsageError("unknown option " + cmdline::Quote(command));
    } else {
      throw cmdline::UsageError("unknown command " + cmdline::Quote(command));
    }
    // Output that did not arrive (a full disk, a closed pipe) is a failure, not a success.
    if (!out.flush()) throw std::runtime_error("cannot write to standard output");
    return status;
  } catch (const cmdline::UsageError& e) {
    err << "rdsq7-cli: error: " << e.what() << '\n'
        << "Try 'rdsq7-cli " << (IsCommand(command) ? command + " " : "") << "--help'.\n";
    return 2;
  } catch (const std::exception& e) {
    err << "rdsq7-cli: error: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace cli

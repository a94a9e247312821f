#include "cli/cli.h"

#include <exception>

#include "cli/arguments.h"
#include "cli/encode_command.h"
#include "cli/ports_command.h"
#include "cli/quote.h"
#include "cli/send_command.h"
#include "cli/serve_command.h"
#include "cli/usage_error.h"

namespace cli {
namespace {

constexpr const char* kUsage =
    "usage: rdsq7-cli COMMAND [options]\n"
    "Commands:\n"
    "  encode   print the encoder image a send would clock out\n"
    "  send     run a send; --dry-run records the lines instead of driving a port\n"
    "  serve    keep a station state and send its changes, taken over the network\n"
    "  ports    list the port devices; point the window's COM1 and COM2 at any of them\n"
    "Run 'rdsq7-cli COMMAND --help' for the options of a command.\n";

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  try {
    if (args.empty()) throw UsageError("no command given (try 'rdsq7-cli --help')");
    const std::string& command = args.front();
    Arguments rest(std::vector<std::string>(args.begin() + 1, args.end()));
    if (command == "--help" || command == "help") {
      out << kUsage;
      return 0;
    }
    int status = 0;
    if (command == "encode") {
      status = EncodeCommand(rest, out);
    } else if (command == "send") {
      status = SendCommand(rest, out, err);
    } else if (command == "serve") {
      status = ServeCommand(rest, out, err);
    } else if (command == "ports") {
      status = PortsCommand(rest, out);
    } else {
      throw UsageError("unknown command " + Quote(command));
    }
    // Output that did not arrive (a full disk, a closed pipe) is a failure, not a success.
    if (!out.flush()) throw std::runtime_error("cannot write to standard output");
    return status;
  } catch (const UsageError& e) {
    err << "rdsq7-cli: error: " << e.what() << '\n';
    return 2;
  } catch (const std::exception& e) {
    err << "rdsq7-cli: error: " << e.what() << '\n';
    return 1;
  }
}

}  // namespace cli

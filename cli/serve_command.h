#pragma once

#include <ostream>

#include "cmdline/arguments.h"

namespace cli {

// "serve": keeps one station state, takes changes from the text command port and UECP, and
// sends them to the encoder until SIGINT or SIGTERM. Throws UsageError.
int ServeCommand(cmdline::Arguments& args, std::ostream& out, std::ostream& err);

}  // namespace cli

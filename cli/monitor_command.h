#pragma once

#include <ostream>

#include "cmdline/arguments.h"

namespace cli {

// "monitor": decodes the station's RDS from its FM multiplex and prints it, or compares it
// with what was sent (--expect). Throws UsageError.
int MonitorCommand(cmdline::Arguments& args, std::ostream& out, std::ostream& err);

}  // namespace cli

#pragma once

#include <ostream>

#include "cmdline/arguments.h"

namespace cli {

// "ports": lists the serial and parallel port devices found and the devices COM1 and COM2
// lead to; --com1 DEVICE and --com2 DEVICE point them elsewhere ("default" undoes it).
// Throws UsageError.
int PortsCommand(cmdline::Arguments& args, std::ostream& out);

}  // namespace cli

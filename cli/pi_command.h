#pragma once

#include <ostream>

#include "cmdline/arguments.h"

namespace cli {

// "pi CALL" prints the PI of United States call letters, "pi HHHH" the call letters of a PI,
// both by the RBDS method. Throws UsageError, and std::runtime_error for a PI that stands for
// no call letters.
int PiCommand(cmdline::Arguments& args, std::ostream& out);

}  // namespace cli

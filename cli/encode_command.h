#pragma once

#include <ostream>

#include "cmdline/arguments.h"

namespace cli {

// "encode": prints the encoder image a send would clock out; notes go to err. Throws
// UsageError.
int EncodeCommand(cmdline::Arguments& args, std::ostream& out, std::ostream& err);

}  // namespace cli

#pragma once

#include <ostream>

#include "cli/arguments.h"

namespace cli {

// "encode": prints the encoder image a send would clock out. Throws UsageError.
int EncodeCommand(Arguments& args, std::ostream& out);

}  // namespace cli

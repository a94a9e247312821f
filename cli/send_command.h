#pragma once

#include <ostream>

#include "cmdline/arguments.h"
#include "transfer/pacer.h"

namespace cli {

// "send": runs the send sequence and prints the Last-sent record and a timing summary.
// Paces with the precise pacer and shows a progress bar when stderr is a terminal.
// Throws UsageError.
int SendCommand(cmdline::Arguments& args, std::ostream& out, std::ostream& err);

// The same with the pacer given and the progress bar, on err, on or off.
int SendCommand(cmdline::Arguments& args, std::ostream& out, std::ostream& err,
                transfer::Pacer& pacer, bool progress_bar);

}  // namespace cli

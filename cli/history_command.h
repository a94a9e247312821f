#pragma once

#include <ostream>

#include "cmdline/arguments.h"

namespace cli {

// "history FILE": prints what serve's --history file holds (the records, then a summary:
// time monitored, time on air as sent, alarms by condition, the longest outage), as text,
// JSON lines or CSV; --since DURATION keeps the last stretch. Throws UsageError.
int HistoryCommand(cmdline::Arguments& args, std::ostream& out, std::ostream& err);

}  // namespace cli

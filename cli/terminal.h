#pragma once

namespace cli {

// True when the process's standard error goes to a terminal (so a progress bar is seen
// and not written into a log file).
bool StderrIsTerminal();

}  // namespace cli

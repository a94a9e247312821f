#include <unistd.h>

#include "cli/terminal.h"

namespace cli {

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

}  // namespace cli

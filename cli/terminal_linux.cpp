#include <unistd.h>

#include "cli/terminal.h"

namespace cli {

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

void PrepareStandardStreams() {}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace cli

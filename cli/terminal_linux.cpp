#include <unistd.h>

#include <cerrno>

#include "cli/terminal.h"

namespace cli {

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

void PrepareStandardStreams() {}

std::size_t ReadStandardInput(void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return 0;
  }
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv + 1, argv + argc);
}

}  // namespace cli

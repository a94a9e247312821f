#include <csignal>
#include <iostream>

#include "cli/cli.h"
#include "cli/terminal.h"

int main(int argc, char** argv) {
#ifndef _WIN32
  // A closed pipe on stdout is reported as a write error instead of ending the program.
  std::signal(SIGPIPE, SIG_IGN);
#endif
  cli::PrepareStandardStreams();
  return cli::Run(cli::CommandLineArguments(argc, argv), std::cout, std::cerr);
}

#include <iostream>

#include "cli/cli.h"
#include "cli/terminal.h"

int main(int argc, char** argv) {
  cli::PrepareStandardStreams();
  return cli::Run(cli::CommandLineArguments(argc, argv), std::cout, std::cerr);
}

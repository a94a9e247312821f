#include <QCoreApplication>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli.h"

int main(int argc, char** argv) {
  // The serial port object expects an application object, as in the window.
  QCoreApplication application(argc, argv);
  return cli::Run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}

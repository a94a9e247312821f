#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

namespace cli::testing {

// One run of the command-line tool, as a user sees it.
struct Result {
  int status;
  std::string out;
  std::string err;
};

inline Result RunCli(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  const int status = Run(args, out, err);
  return {status, out.str(), err.str()};
}

}  // namespace cli::testing

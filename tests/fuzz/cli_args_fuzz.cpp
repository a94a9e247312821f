// libFuzzer target for rdsq7-cli's option parser (built with -DRDSQ7_FUZZ=ON and clang): the
// input, split at NUL bytes, is the argument list of `encode`. Whatever it holds, the tool
// answers with status 0, 1 or 2, and an error is one line on stderr.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args{"encode"};
  std::string arg;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(arg);
      arg.clear();
    } else {
      arg += static_cast<char>(data[i]);
    }
  }
  args.push_back(arg);
  // Files the options could name are not this target's business.
  for (const std::string& a : args) {
    if (a.rfind("--settings", 0) == 0) return 0;
  }
  std::ostringstream out, err;
  const int status = cli::Run(args, out, err);
  const std::string message = err.str();
  if (status < 0 || status > 2) std::abort();
  if (status != 0) {
    if (message.rfind("rdsq7-cli: error: ", 0) != 0 || message.find('\n') != message.size() - 1 ||
        message.size() > 400) {
      std::fprintf(stderr, "bad error: %s\n", message.c_str());
      std::abort();
    }
    for (const char c : message.substr(0, message.size() - 1)) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) std::abort();
    }
  }
  return 0;
}

#pragma once

#include <stdexcept>
#include <string>

namespace cmdline {

// Bad command-line usage: reported as one line on stderr with a pointer to the help,
// exit status 2.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace cmdline

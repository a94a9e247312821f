#include "cli/arguments.h"

#include <utility>

#include "cli/usage_error.h"

namespace cli {

std::string Arguments::NextOption() {
  std::string arg = args_.at(next_++);
  inline_value_.reset();
  if (arg.rfind("--", 0) == 0) {
    const auto eq = arg.find('=');
    if (eq != std::string::npos) {
      inline_value_ = arg.substr(eq + 1);
      arg.resize(eq);
    }
  }
  option_ = arg;
  return arg;
}

std::string Arguments::Value() {
  if (inline_value_) return *std::exchange(inline_value_, std::nullopt);
  if (AtEnd()) throw UsageError("option " + option_ + " needs a value");
  return args_[next_++];
}

void Arguments::NoValue() {
  if (inline_value_) throw UsageError("option " + option_ + " takes no value");
}

}  // namespace cli

#include "cmdline/arguments.h"

#include <utility>

#include "cmdline/quote.h"
#include "cmdline/usage_error.h"

namespace cmdline {

bool Arguments::AtEnd() {
  if (!options_ended_ && next_ < args_.size() && args_[next_] == "--") {
    options_ended_ = true;
    ++next_;
  }
  return next_ >= args_.size();
}

std::string Arguments::NextOption() {
  std::string arg = args_.at(next_++);
  inline_value_.reset();
  if (options_ended_ || arg.empty() || arg[0] != '-') {
    throw UsageError("unexpected argument " + Quote(arg));
  }
  if (arg == "-h") arg = "--help";
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
  if (next_ >= args_.size()) throw UsageError("option " + option_ + " needs a value");
  return args_[next_++];
}

void Arguments::NoValue() {
  if (inline_value_) throw UsageError("option " + option_ + " takes no value");
}

}  // namespace cmdline

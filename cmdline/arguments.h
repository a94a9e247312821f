#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace cmdline {

// Walks "--name VALUE" and "--name=VALUE" options in order. "--" ends the options; no
// command takes anything after it. "-h" is "--help".
class Arguments {
 public:
  explicit Arguments(std::vector<std::string> args) : args_(std::move(args)) {}

  // Steps over a "--" that ends the options.
  bool AtEnd();

  // Takes the next option's name; an inline "=VALUE" is kept for Value(). Throws
  // UsageError for an argument that is no option.
  std::string NextOption();

  // The value of the option just taken; throws UsageError when it is missing.
  std::string Value();

  // Throws UsageError when the option just taken was given an inline value.
  void NoValue();

  // Every argument as given, taken or not.
  const std::vector<std::string>& All() const { return args_; }

 private:
  std::vector<std::string> args_;
  std::size_t next_ = 0;
  bool options_ended_ = false;
  std::string option_;
  std::optional<std::string> inline_value_;
};

// A file named on the command line: arguments are UTF-8 on every platform.
inline std::filesystem::path PathArgument(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

}  // namespace cmdline

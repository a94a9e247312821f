// The parts of the Windows service that are the same everywhere: the command line an
// installed service runs.
#include "serve/service_host.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "cmdline/arguments.h"
#include "cmdline/quote.h"
#include "cmdline/usage_error.h"

namespace serve {
namespace {

// serve's options that name a file: the service runs elsewhere, so they are made absolute.
constexpr std::array<std::string_view, 6> kFileOptions = {
    "--settings", "--log", "--config", "--bytes", "--vcd", "--fallback-settings"};

bool IsFileOption(std::string_view option) {
  return std::find(kFileOptions.begin(), kFileOptions.end(), option) != kFileOptions.end();
}

std::string Absolute(const std::string& file, const std::filesystem::path& folder) {
  const std::filesystem::path path = cmdline::PathArgument(file);
  if (file.empty() || path.is_absolute()) return file;
  const std::u8string made = (folder / path).lexically_normal().u8string();
  return std::string(made.begin(), made.end());
}

// An argument as the Windows C runtime splits it back: quotes where a blank or a quote is in
// it, and backslashes doubled only in front of a quote (or the closing one).
void AppendQuoted(std::string& line, const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
    line += argument;
    return;
  }
  line += '"';
  std::size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    line += c;
  }
  line.append(2 * backslashes, '\\');
  line += '"';
}

}  // namespace

void CheckServiceName(const std::string& option, const std::string& name) {
  // The name is also part of the log file's name, so it holds nothing a file name cannot.
  const bool bad_character = std::any_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 ||
           std::string_view("<>:\"/\\|?*").find(c) != std::string_view::npos;
  });
  if (name.empty() || name.size() > 80 || bad_character || name.back() == '.' ||
      name.back() == ' ') {
    throw cmdline::UsageError("option " + option +
                              ": expected a name of up to 80 characters without <>:\"/\\|?*, got " +
                              cmdline::Quote(name));
  }
}

std::vector<std::string> ServiceArguments(const std::string& name,
                                          const std::vector<std::string>& options,
                                          const std::filesystem::path& log_folder,
                                          const std::filesystem::path& current_folder) {
  std::vector<std::string> kept;
  bool log_given = false;
  for (std::size_t i = 0; i < options.size(); ++i) {
    const std::string& arg = options[i];
    const auto eq = arg.find('=');
    const std::string option = arg.rfind("--", 0) == 0 ? arg.substr(0, eq) : arg;
    if (option == "--install-service") {
      if (eq == std::string::npos) ++i;
      continue;
    }
    log_given = log_given || option == "--log";
    if (!IsFileOption(option)) {
      kept.push_back(arg);
    } else if (eq != std::string::npos) {
      kept.push_back(option + '=' + Absolute(arg.substr(eq + 1), current_folder));
    } else {
      kept.push_back(arg);
      if (i + 1 < options.size()) kept.push_back(Absolute(options[++i], current_folder));
    }
  }
  std::vector<std::string> args = {"serve", "--service", name};
  if (!log_given) {
    const std::u8string log =
        (log_folder / cmdline::PathArgument("serve-" + name + ".log")).u8string();
    args.insert(args.end(), {"--log", std::string(log.begin(), log.end())});
  }
  args.insert(args.end(), kept.begin(), kept.end());
  return args;
}

std::string WindowsCommandLine(const std::string& program,
                               const std::vector<std::string>& arguments) {
  // The program's name is read up to its closing quote, without escapes.
  std::string line = '"' + program + '"';
  for (const std::string& argument : arguments) {
    line += ' ';
    AppendQuoted(line, argument);
  }
  return line;
}

}  // namespace serve

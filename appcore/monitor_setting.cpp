#include "appcore/monitor_setting.h"

#include <stdexcept>
#include <system_error>

#include "appcore/bounded_file.h"
#include "appcore/file_replacer.h"

namespace app {
namespace {

constexpr std::size_t kLongestCommand = 4096;

std::string Shown(const std::filesystem::path& file) {
  const std::u8string text = file.u8string();
  return "'" + std::string(text.begin(), text.end()) + "'";
}

}  // namespace

std::optional<std::filesystem::path> MonitorCommandFile(const Environment& environment) {
  const auto folder = UserFolder(environment);
  if (!folder) return std::nullopt;
  return *folder / kMonitorCommandFileName;
}

std::optional<std::string> ReadMonitorCommand(const std::filesystem::path& file) {
  const BoundedRead read = ReadBoundedFile(file, kLongestCommand);
  if (!read.found) return std::nullopt;
  if (read.failure != ReadFailure::kNone) {
    throw std::runtime_error("can't read " + Shown(file) + " (" +
                             DescribeReadFailure(read.failure, kLongestCommand) + ")");
  }
  std::string command = read.bytes.substr(0, read.bytes.find_first_of("\r\n"));
  while (!command.empty() && (command.back() == ' ' || command.back() == '\t')) {
    command.pop_back();
  }
  if (command.empty()) return std::nullopt;
  return command;
}

void SaveMonitorCommand(const std::filesystem::path& file, const std::string& command) {
  std::error_code error;
  if (command.empty()) {
    std::filesystem::remove(file, error);
    if (error) throw std::runtime_error("can't remove " + Shown(file));
    return;
  }
  if (command.find_first_of("\r\n") != std::string::npos) {
    throw std::runtime_error("the monitor command must be one line");
  }
  std::filesystem::create_directories(file.parent_path(), error);
  FileReplacer& replacer = PlatformFileReplacer();
  auto staged = replacer.CanReplace(file) ? replacer.Stage(file) : nullptr;
  if (!staged || !staged->Write(command + "\n") || !staged->Finish() || !staged->Commit()) {
    throw std::runtime_error("can't write " + Shown(file));
  }
}

std::optional<std::filesystem::path> RbdsChoiceFile(const Environment& environment) {
  const auto folder = UserFolder(environment);
  if (!folder) return std::nullopt;
  return *folder / kRbdsFileName;
}

bool ReadRbdsChoice(const std::filesystem::path& file) {
  return ReadMonitorCommand(file) == "rbds";
}

void SaveRbdsChoice(const std::filesystem::path& file, bool rbds) {
  SaveMonitorCommand(file, rbds ? "rbds" : "");
}

}  // namespace app

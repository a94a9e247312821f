#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "appcore/file_folders.h"

namespace app {

// The command that gives the station's FM multiplex on its standard output (an SDR receiver
// or a sound card), kept as one line in "monitor-command.txt" in the user's folder for this
// program, for the window and the command-line tool alike.
constexpr const char* kMonitorCommandFileName = "monitor-command.txt";

// The file's place; nullopt when there is no user folder.
std::optional<std::filesystem::path> MonitorCommandFile(const Environment& environment);

// The command saved there; nullopt when there is none (no file, or an empty one). Throws
// std::runtime_error when the file exists but cannot be read.
std::optional<std::string> ReadMonitorCommand(const std::filesystem::path& file);

// Saves command (one line); an empty command removes the file. Creates the folder. Throws
// std::runtime_error "can't write 'FILE'".
void SaveMonitorCommand(const std::filesystem::path& file, const std::string& command);

// The window's choice of North America (RBDS), kept beside the monitor command in
// "rbds.txt", which holds "rbds" while it is chosen; the station settings file is left as it
// is. nullopt when there is no user folder.
constexpr const char* kRbdsFileName = "rbds.txt";
std::optional<std::filesystem::path> RbdsChoiceFile(const Environment& environment);
// False without the file; throws std::runtime_error as ReadMonitorCommand does.
bool ReadRbdsChoice(const std::filesystem::path& file);
// Throws std::runtime_error as SaveMonitorCommand does.
void SaveRbdsChoice(const std::filesystem::path& file, bool rbds);

}  // namespace app

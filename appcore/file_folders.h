#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

namespace app {

// Answers whether this process may create and replace files in a folder.
using FolderWriteProbe = std::function<bool(const std::filesystem::path& folder)>;

// The value of an environment variable as a path; nullopt when it is not set.
using Environment = std::function<std::optional<std::filesystem::path>(std::string_view name)>;

// Where the program keeps its three files: the settings file, the help text and the
// translation.
struct FileFolders {
  // The settings file is read from and written to here.
  std::filesystem::path settings;
  // The help text and the translation are looked up here, in order.
  std::vector<std::filesystem::path> lookup;
  // A folder whose settings file is read while the settings folder has none yet: where an
  // installed Windows copy once saved beside itself (an elevated run of an earlier
  // version), so those settings carry over instead of the defaults. Empty: none.
  std::filesystem::path earlier_settings{};

  bool operator==(const FileFolders&) const = default;
};

// A program folder the program may write holds all three files, as it always has: a
// portable copy, a build folder, a copy under the user's own files. One it may not write (an
// installed program) leaves the settings to the user's folder for this program
// (UserFolder), which is searched first for the help text and the translation too, with
// the installed ones beside the program after it. Without a user folder (no environment
// to find it by) the program folder is used all the same. Creates nothing.
FileFolders ChooseFileFolders(const std::filesystem::path& program_folder,
                              const FolderWriteProbe& may_write, const Environment& environment);

// The folder of an installed program's help text and translations, which the system keeps
// apart from its executable: <prefix>/share/rdsq7 for <prefix>/bin/rdsq7 (the relative way
// is the build's RDSQ7_INSTALLED_DATA). nullopt when no such folder exists: a build folder
// or a portable copy keeps its files beside the executable.
std::optional<std::filesystem::path> InstalledDataFolder(
    const std::filesystem::path& executable_folder);

// Whether a Windows program folder belongs to an installation: the installer left its
// uninstaller (kInstallerMarker) there, or the folder lies in one of the system's program
// folders (%ProgramFiles%, %ProgramFiles(x86)%, %ProgramW6432%). Names compare without
// regard to case, as Windows does.
inline constexpr const char* kInstallerMarker = "uninstall.exe";
bool IsInstalledWindowsFolder(const std::filesystem::path& folder, const Environment& environment);

// ChooseFileFolders for the program in executable_folder. An installed program's folders
// belong to the system, even when the one who runs it (root, an elevated Windows run) may
// write them: its settings go to the user folder, and its help text and translations are
// looked up there first.
FileFolders FoldersForExecutable(const std::filesystem::path& executable_folder,
                                 const FolderWriteProbe& may_write, const Environment& environment);

// The named file in the first folder where it exists (as anything: one that cannot be read
// is the reader's error); in the first folder when it exists nowhere.
std::filesystem::path FindFile(const std::vector<std::filesystem::path>& folders,
                               std::string_view name);

// The settings file to read: the one in the settings folder, else the earlier one when
// that exists; the settings folder's when neither does. Saves always go to the settings
// folder.
std::filesystem::path SettingsFileToRead(const FileFolders& folders);

// Creates the settings folder when it is missing, as the user's folder is before its first
// save. A failure is left to the save that follows, which reports it.
void CreateSettingsFolder(const FileFolders& folders);

// The platform's parts, one source file per platform.

// The user's own folder for this program: $XDG_CONFIG_HOME/rdsq7, else ~/.config/rdsq7
// ($HOME/.config/rdsq7); %APPDATA%\rdsq7 on Windows. nullopt when the environment names
// no absolute folder.
std::optional<std::filesystem::path> UserFolder(const Environment& environment);

// Whether this process may create files in folder; false for a folder that does not exist.
bool MayWriteFolder(const std::filesystem::path& folder);

// The process's environment.
Environment SystemEnvironment();

}  // namespace app

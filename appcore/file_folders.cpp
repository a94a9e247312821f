#include "appcore/file_folders.h"

#include <algorithm>
#include <array>
#include <string>

#include "appcore/settings_file.h"

namespace app {

namespace fs = std::filesystem;

namespace {

// The variables that name the system's program folders; a 32-bit view of the system sees
// only some of them.
constexpr std::array<std::string_view, 3> kProgramFolderVariables = {
    "ProgramFiles", "ProgramFiles(x86)", "ProgramW6432"};

// ASCII letters only: the system's folder names are English whatever the language shown.
bool SameNameIgnoringCase(const std::u8string& a, const std::u8string& b) {
  const auto lower = [](char8_t c) {
    return c >= u8'A' && c <= u8'Z' ? static_cast<char8_t>(c - u8'A' + u8'a') : c;
  };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char8_t x, char8_t y) { return lower(x) == lower(y); });
}

// The names along a path, without the empty one a trailing separator leaves.
std::vector<std::u8string> Names(const fs::path& path) {
  std::vector<std::u8string> names;
  for (const fs::path& part : path.lexically_normal()) {
    std::u8string name = part.u8string();
    if (!name.empty()) names.push_back(std::move(name));
  }
  return names;
}

bool IsWithin(const fs::path& folder, const fs::path& outer) {
  const std::vector<std::u8string> inner = Names(folder), prefix = Names(outer);
  if (prefix.empty() || inner.size() < prefix.size()) return false;
  return std::equal(prefix.begin(), prefix.end(), inner.begin(), SameNameIgnoringCase);
}

}  // namespace

FileFolders ChooseFileFolders(const fs::path& program_folder, const FolderWriteProbe& may_write,
                              const Environment& environment) {
  if (!may_write(program_folder)) {
    if (const std::optional<fs::path> user = UserFolder(environment)) {
      return {*user, {*user, program_folder}};
    }
  }
  return {program_folder, {program_folder}};
}

std::optional<fs::path> InstalledDataFolder(const fs::path& executable_folder) {
#ifdef RDSQ7_INSTALLED_DATA
  const fs::path folder = (executable_folder / RDSQ7_INSTALLED_DATA).lexically_normal();
  std::error_code ec;
  if (fs::is_directory(folder, ec)) return folder;
#else
  (void)executable_folder;
#endif
  return std::nullopt;
}

bool IsInstalledWindowsFolder(const fs::path& folder, const Environment& environment) {
  std::error_code ec;
  if (fs::exists(folder / kInstallerMarker, ec)) return true;
  return std::any_of(kProgramFolderVariables.begin(), kProgramFolderVariables.end(),
                     [&](std::string_view name) {
                       const std::optional<fs::path> outer = environment(name);
                       return outer && outer->is_absolute() && IsWithin(folder, *outer);
                     });
}

FileFolders FoldersForExecutable(const fs::path& executable_folder,
                                 const FolderWriteProbe& may_write,
                                 const Environment& environment) {
  const FolderWriteProbe never = [](const fs::path&) { return false; };
  if (const std::optional<fs::path> data = InstalledDataFolder(executable_folder)) {
    return ChooseFileFolders(*data, never, environment);
  }
#ifdef _WIN32
  if (IsInstalledWindowsFolder(executable_folder, environment)) {
    FileFolders folders = ChooseFileFolders(executable_folder, never, environment);
    if (folders.settings != executable_folder) folders.earlier_settings = executable_folder;
    return folders;
  }
#endif
  return ChooseFileFolders(executable_folder, may_write, environment);
}

fs::path SettingsFileToRead(const FileFolders& folders) {
  const fs::path current = SettingsFilePath(folders.settings);
  std::error_code ec;
  if (folders.earlier_settings.empty() || fs::exists(current, ec)) return current;
  const fs::path earlier = SettingsFilePath(folders.earlier_settings);
  return fs::exists(earlier, ec) ? earlier : current;
}

fs::path FindFile(const std::vector<fs::path>& folders, std::string_view name) {
  for (const fs::path& folder : folders) {
    const fs::path path = folder / name;
    std::error_code ec;
    if (fs::exists(path, ec)) return path;
  }
  return folders.empty() ? fs::path(name) : folders.front() / name;
}

void CreateSettingsFolder(const FileFolders& folders) {
  std::error_code ec;
  // The user's folder holds what they chose; like other programs' folders there, it is
  // theirs alone.
  if (fs::create_directories(folders.settings, ec)) {
    fs::permissions(folders.settings, fs::perms::owner_all, ec);
  }
}

}  // namespace app

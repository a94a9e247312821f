#include "appcore/file_folders.h"

#include <string>

namespace app {

namespace fs = std::filesystem;

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

FileFolders FoldersForExecutable(const fs::path& executable_folder,
                                 const FolderWriteProbe& may_write,
                                 const Environment& environment) {
  if (const std::optional<fs::path> data = InstalledDataFolder(executable_folder)) {
    return ChooseFileFolders(
        *data, [](const fs::path&) { return false; }, environment);
  }
  return ChooseFileFolders(executable_folder, may_write, environment);
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

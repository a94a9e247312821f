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

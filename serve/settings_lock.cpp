#include "serve/settings_lock.h"

#include "appcore/settings_file.h"

namespace serve {

std::filesystem::path SettingsLockPath(const std::filesystem::path& settings) {
  std::filesystem::path file = app::SettingsFileTarget(settings);
  std::error_code error;
  const std::filesystem::path resolved = std::filesystem::weakly_canonical(file, error);
  if (!error) file = resolved;
  file += ".lock";
  return file;
}

}  // namespace serve

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "appcore/file_folders.h"

namespace app {

namespace fs = std::filesystem;

std::optional<fs::path> UserFolder(const Environment& environment) {
  // A relative XDG_CONFIG_HOME is invalid and ignored, as the XDG base directory rules say.
  const std::optional<fs::path> config = environment("XDG_CONFIG_HOME");
  if (config && config->is_absolute()) return *config / "rdsq7";
  const std::optional<fs::path> home = environment("HOME");
  if (home && home->is_absolute()) return *home / ".config" / "rdsq7";
  return std::nullopt;
}

bool MayWriteFolder(const fs::path& folder) {
  // The effective ids decide, as they do for the save itself; a read-only mount answers
  // no even for root.
  return ::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

Environment SystemEnvironment() {
  return [](std::string_view name) -> std::optional<fs::path> {
    const char* value = std::getenv(std::string(name).c_str());
    if (value == nullptr) return std::nullopt;
    return fs::path(value);
  };
}

}  // namespace app

#include <windows.h>

#include <cstdlib>
#include <string>

#include "appcore/file_folders.h"

namespace app {

namespace fs = std::filesystem;

std::optional<fs::path> UserFolder(const Environment& environment) {
  const std::optional<fs::path> appdata = environment("APPDATA");
  if (appdata && appdata->is_absolute()) return *appdata / "rdsq7";
  return std::nullopt;
}

bool MayWriteFolder(const fs::path& folder) {
  // Access rules on Windows are lists the read-only attribute does not show; trying is the
  // only sure answer. The file goes away when its handle closes.
  const fs::path probe =
      folder / ("rdsq7-write-probe-" + std::to_string(::GetCurrentProcessId()) + ".tmp");
  const HANDLE file = ::CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(file);
  return true;
}

Environment SystemEnvironment() {
  return [](std::string_view name) -> std::optional<fs::path> {
    // Names are ASCII; values are read as UTF-16, so any folder name comes through.
    const std::wstring wide_name(name.begin(), name.end());
    const wchar_t* value = ::_wgetenv(wide_name.c_str());
    if (value == nullptr) return std::nullopt;
    return fs::path(value);
  };
}

}  // namespace app

// Windows: FILE.lock opened for writing without sharing write access; others may still
// read the holder's process id from it.
#include <windows.h>

#include <string>

#include "serve/settings_lock.h"

namespace serve {

SettingsLock::SettingsLock(const std::filesystem::path& settings)
    : path_(SettingsLockPath(settings)) {
  HANDLE file = ::CreateFileW(path_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_LOCK_VIOLATION) {
      throw std::runtime_error("can't lock settings file '" + settings.string() + "': error " +
                               std::to_string(error));
    }
    std::string holder = "another serve";
    HANDLE read = ::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (read != INVALID_HANDLE_VALUE) {
      char text[32] = {};
      DWORD got = 0;
      if (::ReadFile(read, text, sizeof text - 1, &got, nullptr) && got > 0) {
        std::string pid(text, got);
        while (!pid.empty() && (pid.back() == '\n' || pid.back() == '\r')) pid.pop_back();
        if (!pid.empty() && pid.find_first_not_of("0123456789") == std::string::npos) {
          holder += " (process " + pid + ")";
        }
      }
      ::CloseHandle(read);
    }
    throw SettingsInUseError("settings file '" + settings.string() + "' is in use by " + holder);
  }
  const std::string pid = std::to_string(::GetCurrentProcessId()) + "\r\n";
  DWORD written = 0;
  ::SetEndOfFile(file);
  ::WriteFile(file, pid.data(), static_cast<DWORD>(pid.size()), &written, nullptr);
  ::FlushFileBuffers(file);
  handle_ = reinterpret_cast<long long>(file);
}

SettingsLock::~SettingsLock() {
  if (handle_ == -1) return;
  ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
  ::DeleteFileW(path_.c_str());
}

}  // namespace serve

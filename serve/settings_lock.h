#pragma once

#include <filesystem>
#include <stdexcept>

namespace serve {

// Another serve uses the settings file; the message names it by its process id.
class SettingsInUseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Keeps a second serve off a settings file while one uses it: both would save over each
// other. The lock is a file beside it (FILE.lock) that holds the holder's process id; the
// system lets go of the lock when the process ends, however it ends, so a crash never keeps
// the next start out.
// The lock file of a settings file: beside the file itself, as saves reach it (links
// followed, the folder resolved), so that a link to it or to its folder takes the same lock.
std::filesystem::path SettingsLockPath(const std::filesystem::path& settings);

class SettingsLock {
 public:
  // Throws SettingsInUseError, or std::runtime_error when the lock file cannot be made.
  explicit SettingsLock(const std::filesystem::path& settings);
  ~SettingsLock();
  SettingsLock(const SettingsLock&) = delete;
  SettingsLock& operator=(const SettingsLock&) = delete;

 private:
  std::filesystem::path path_;
  long long handle_ = -1;  // POSIX: the descriptor; Windows: the handle
};

}  // namespace serve

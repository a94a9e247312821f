// POSIX: flock on FILE.lock. The file is removed at exit; a start that locked a file
// removed under it in the meantime tries again with the new one.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "serve/settings_lock.h"

namespace serve {
namespace {

std::string Holder(int fd) {
  char text[32] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  std::string pid(text, n > 0 ? static_cast<std::size_t>(n) : 0);
  while (!pid.empty() && (pid.back() == '\n' || pid.back() == '\r')) pid.pop_back();
  if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) {
    return "another serve";
  }
  return "another serve (process " + pid + ")";
}

}  // namespace

SettingsLock::SettingsLock(const std::filesystem::path& settings)
    : path_(SettingsLockPath(settings)) {
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      throw std::runtime_error("can't lock settings file '" + settings.string() +
                               "': " + std::strerror(errno));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const std::string holder = Holder(fd);
      ::close(fd);
      throw SettingsInUseError("settings file '" + settings.string() + "' is in use by " + holder);
    }
    struct stat held {
    }, named{};
    if (::fstat(fd, &held) == 0 && ::stat(path_.c_str(), &named) == 0 &&
        held.st_ino == named.st_ino && held.st_dev == named.st_dev) {
      const std::string pid = std::to_string(::getpid()) + "\n";
      if (::ftruncate(fd, 0) == 0 && ::pwrite(fd, pid.data(), pid.size(), 0) < 0) {
        // The lock holds without the number; a second serve then names no process.
      }
      handle_ = fd;
      return;
    }
    ::close(fd);  // the previous holder removed it as it ended
  }
  throw std::runtime_error("can't lock settings file '" + settings.string() + "'");
}

SettingsLock::~SettingsLock() {
  if (handle_ < 0) return;
  ::unlink(path_.c_str());
  ::close(static_cast<int>(handle_));
}

}  // namespace serve

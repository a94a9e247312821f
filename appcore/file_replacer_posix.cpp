#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <string>

#include "appcore/file_replacer.h"

namespace app {
namespace {

constexpr int kStageAttempts = 100;

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// Makes a finished rename survive a power cut; nothing else depends on it.
void SyncFolder(const std::filesystem::path& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

class PosixStagedFile final : public StagedFile {
 public:
  PosixStagedFile(int fd, std::filesystem::path temp, std::filesystem::path target)
      : fd_(fd), temp_(std::move(temp)), target_(std::move(target)) {}

  ~PosixStagedFile() override {
    if (fd_ >= 0) ::close(fd_);
    if (!committed_) ::unlink(temp_.c_str());
  }

  bool Write(std::string_view bytes) override { return fd_ >= 0 && WriteAll(fd_, bytes); }

  bool Finish() override {
    if (fd_ < 0) return false;
    const bool synced = ::fsync(fd_) == 0;
    const bool closed = ::close(fd_) == 0;
    fd_ = -1;
    return synced && closed;
  }

  bool Commit() override {
    if (fd_ >= 0 || ::rename(temp_.c_str(), target_.c_str()) != 0) return false;
    committed_ = true;
    SyncFolder(target_.parent_path().empty() ? "." : target_.parent_path());
    return true;
  }

 private:
  int fd_;
  std::filesystem::path temp_;
  std::filesystem::path target_;
  bool committed_ = false;
};

// Another program that holds an advisory lock on the file (flock, or fcntl/lockf) is
// working with it; the file is left alone as Windows leaves a file held open.
bool LockedByAnotherProcess(int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK;
  ::flock(fd, LOCK_UN);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

// A save that hits the file size limit must fail as a write error, not end the program.
void IgnoreFileSizeSignal() {
  static const bool ignored = [] {
    struct sigaction action {};
    action.sa_handler = SIG_IGN;
    sigemptyset(&action.sa_mask);
    return ::sigaction(SIGXFSZ, &action, nullptr) == 0;
  }();
  (void)ignored;
}

class PosixFileReplacer final : public FileReplacer {
 public:
  bool CanReplace(const std::filesystem::path& target) override {
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISREG(st.st_mode)) return false;
    // A file without any write permission counts as read-only even for root, who could
    // otherwise write it.
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return false;
    const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return false;
    const bool locked = LockedByAnotherProcess(fd);
    ::close(fd);
    return !locked;
  }

  std::unique_ptr<StagedFile> Stage(const std::filesystem::path& target) override {
    IgnoreFileSizeSignal();
    static std::atomic<unsigned> counter{0};
    // The new file gets the permissions of the one it replaces.
    struct stat st {};
    const bool existing = ::stat(target.c_str(), &st) == 0;
    for (int attempt = 0; attempt < kStageAttempts; ++attempt) {
      std::filesystem::path temp = target;
      temp += "." + std::to_string(::getpid()) + "." + std::to_string(counter++) + ".tmp";
      const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
      if (fd < 0) {
        if (errno == EEXIST) continue;
        return nullptr;
      }
      if (existing) {
        // Owner and group too, where the process may give them (root): a file root saves
        // for a user stays the user's. Elsewhere the attempt fails and changes nothing.
        // The mode comes after, since a change of owner clears set-id bits.
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
          // not permitted: the file is the saving user's, as any file they create
        }
        ::fchmod(fd, st.st_mode & 07777);
      }
      return std::make_unique<PosixStagedFile>(fd, std::move(temp), target);
    }
    return nullptr;
  }
};

}  // namespace

FileReplacer& PlatformFileReplacer() {
  static PosixFileReplacer replacer;
  return replacer;
}

}  // namespace app

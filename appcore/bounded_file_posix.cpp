#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "appcore/bounded_file.h"

namespace app {

BoundedRead ReadBoundedFile(const std::filesystem::path& path, std::size_t max_bytes) {
  BoundedRead result;
  // Looked at before opening: opening some devices has effects of its own.
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    result.found = !(errno == ENOENT || errno == ENOTDIR);
    result.failure = ReadFailure::kUnreadable;
    return result;
  }
  result.found = true;
  if (!S_ISREG(st.st_mode)) {
    result.failure = ReadFailure::kNotRegular;
    return result;
  }
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    result.failure = ReadFailure::kUnreadable;
    return result;
  }
  // Checked again on what was opened: the name may have been swapped in between.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    result.failure = ReadFailure::kNotRegular;
    return result;
  }
  if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > max_bytes) {
    ::close(fd);
    result.failure = ReadFailure::kTooLarge;
    return result;
  }
  ReadUpToCap(
      [fd](char* buffer, std::size_t size) -> long long {
        ssize_t n;
        do {
          n = ::read(fd, buffer, size);
        } while (n < 0 && errno == EINTR);
        return n;
      },
      max_bytes, result);
  ::close(fd);
  return result;
}

}  // namespace app

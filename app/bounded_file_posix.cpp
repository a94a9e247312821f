#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "app/bounded_file.h"

namespace app {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

}  // namespace

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
  // The size may change while reading: never take more than the cap and one byte.
  std::string& bytes = result.bytes;
  while (bytes.size() <= max_bytes) {
    const std::size_t old_size = bytes.size();
    bytes.resize(old_size + std::min(kChunk, max_bytes + 1 - old_size));
    const ssize_t n = ::read(fd, bytes.data() + old_size, bytes.size() - old_size);
    if (n < 0 && errno == EINTR) {
      bytes.resize(old_size);
      continue;
    }
    if (n < 0) {
      result.failure = ReadFailure::kUnreadable;
      break;
    }
    bytes.resize(old_size + static_cast<std::size_t>(n));
    if (n == 0) break;
  }
  ::close(fd);
  if (result.failure == ReadFailure::kNone && bytes.size() > max_bytes) {
    result.failure = ReadFailure::kTooLarge;
  }
  if (result.failure != ReadFailure::kNone) bytes.clear();
  return result;
}

}  // namespace app

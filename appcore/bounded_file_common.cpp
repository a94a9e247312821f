#include <algorithm>

#include "appcore/bounded_file.h"

namespace app {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

}  // namespace

void ReadUpToCap(const std::function<long long(char* buffer, std::size_t size)>& read_some,
                 std::size_t max_bytes, BoundedRead& result) {
  std::string& bytes = result.bytes;
  while (bytes.size() <= max_bytes) {
    const std::size_t old_size = bytes.size();
    bytes.resize(old_size + std::min(kChunk, max_bytes + 1 - old_size));
    const long long n = read_some(bytes.data() + old_size, bytes.size() - old_size);
    bytes.resize(old_size + static_cast<std::size_t>(std::max(n, 0LL)));
    if (n < 0) {
      result.failure = ReadFailure::kUnreadable;
      break;
    }
    if (n == 0) break;
  }
  if (result.failure == ReadFailure::kNone && bytes.size() > max_bytes) {
    result.failure = ReadFailure::kTooLarge;
  }
  if (result.failure != ReadFailure::kNone) bytes.clear();
}

std::string DescribeReadFailure(ReadFailure failure, std::size_t max_bytes) {
  switch (failure) {
    case ReadFailure::kNone:
      return "read";
    case ReadFailure::kNotRegular:
      return "not a regular file";
    case ReadFailure::kTooLarge:
      return "larger than " + std::to_string(max_bytes) + " bytes";
    case ReadFailure::kUnreadable:
      break;
  }
  return "cannot be read";
}

}  // namespace app

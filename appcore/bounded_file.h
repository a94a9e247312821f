#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace app {

// Why a file could not be read whole.
enum class ReadFailure {
  kNone,
  kNotRegular,  // a folder, FIFO, device or socket: reading could block or never end
  kTooLarge,    // larger than the cap given
  kUnreadable,  // no permission, an I/O error
};

struct BoundedRead {
  bool found = false;  // false: no such file (nothing else is set)
  ReadFailure failure = ReadFailure::kNone;
  std::string bytes;  // the whole file when found and failure is kNone
};

// Reads a whole file of at most max_bytes without ever blocking: it is opened non-blocking
// and refused unless it is a regular file (a link to one counts), so a FIFO or a device
// named like a program file cannot stall or exhaust the program.
BoundedRead ReadBoundedFile(const std::filesystem::path& path, std::size_t max_bytes);

// The platforms' common part of ReadBoundedFile: reads through read_some (bytes read into
// the buffer, 0 at the end, below 0 on an error) until the end or past max_bytes, never
// taking more than the cap and one byte even when the file grows meanwhile, and sets
// result's bytes and failure. Nothing is kept when it fails.
void ReadUpToCap(const std::function<long long(char* buffer, std::size_t size)>& read_some,
                 std::size_t max_bytes, BoundedRead& result);

// A few words for an error message: "not a regular file", "larger than 65536 bytes", ….
std::string DescribeReadFailure(ReadFailure failure, std::size_t max_bytes);

}  // namespace app

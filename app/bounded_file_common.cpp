#include "app/bounded_file.h"

namespace app {

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

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "appcore/bounded_file.h"

namespace app {

BoundedRead ReadBoundedFile(const std::filesystem::path& path, std::size_t max_bytes) {
  BoundedRead result;
  const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    result.found = !(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
    // A folder cannot be opened this way: tell it apart from a file that may not be read.
    std::error_code ignored;
    result.failure = result.found && std::filesystem::is_directory(path, ignored)
                         ? ReadFailure::kNotRegular
                         : ReadFailure::kUnreadable;
    return result;
  }
  result.found = true;
  LARGE_INTEGER size{};
  // Pipes, consoles and devices (CON, NUL, COM1) are no files on a disk.
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    result.failure = ReadFailure::kNotRegular;
  } else if (!::GetFileSizeEx(file, &size)) {
    result.failure = ReadFailure::kUnreadable;
  } else if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > max_bytes) {
    result.failure = ReadFailure::kTooLarge;
  }
  if (result.failure == ReadFailure::kNone) {
    ReadUpToCap(
        [file](char* buffer, std::size_t size) -> long long {
          DWORD read = 0;
          if (!::ReadFile(file, buffer, static_cast<DWORD>(size), &read, nullptr)) return -1;
          return read;
        },
        max_bytes, result);
  }
  ::CloseHandle(file);
  return result;
}

}  // namespace app

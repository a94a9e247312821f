#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "appcore/file_replacer.h"

namespace app {
namespace {

constexpr int kStageAttempts = 100;
constexpr DWORD kMaxChunk = 1u << 20;

bool WriteAll(HANDLE file, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kMaxChunk));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data(), chunk, &written, nullptr) || written == 0) {
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

class WindowsStagedFile final : public StagedFile {
 public:
  WindowsStagedFile(HANDLE file, std::filesystem::path temp, std::filesystem::path target)
      : file_(file), temp_(std::move(temp)), target_(std::move(target)) {}

  ~WindowsStagedFile() override {
    if (file_ != INVALID_HANDLE_VALUE) ::CloseHandle(file_);
    if (!committed_) ::DeleteFileW(temp_.c_str());
  }

  bool Write(std::string_view bytes) override {
    return file_ != INVALID_HANDLE_VALUE && WriteAll(file_, bytes);
  }

  bool Finish() override {
    if (file_ == INVALID_HANDLE_VALUE) return false;
    const bool flushed = ::FlushFileBuffers(file_) != 0;
    const bool closed = ::CloseHandle(file_) != 0;
    file_ = INVALID_HANDLE_VALUE;
    return flushed && closed;
  }

  bool Commit() override {
    if (file_ != INVALID_HANDLE_VALUE) return false;
    if (!::MoveFileExW(temp_.c_str(), target_.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return false;
    }
    committed_ = true;
    return true;
  }

 private:
  HANDLE file_;
  std::filesystem::path temp_;
  std::filesystem::path target_;
  bool committed_ = false;
};

class WindowsFileReplacer final : public FileReplacer {
 public:
  bool CanReplace(const std::filesystem::path& target) override {
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD error = ::GetLastError();
      return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
    }
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) return false;
    // Fails while another program holds the file open, as creating it in place would.
    const HANDLE file = ::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(file);
    return true;
  }

  std::unique_ptr<StagedFile> Stage(const std::filesystem::path& target) override {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < kStageAttempts; ++attempt) {
      std::filesystem::path temp = target;
      temp += L"." + std::to_wstring(::GetCurrentProcessId()) + L"." + std::to_wstring(counter++) +
              L".tmp";
      const HANDLE file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
      if (file == INVALID_HANDLE_VALUE) {
        if (::GetLastError() == ERROR_FILE_EXISTS) continue;
        return nullptr;
      }
      return std::make_unique<WindowsStagedFile>(file, std::move(temp), target);
    }
    return nullptr;
  }
};

}  // namespace

FileReplacer& PlatformFileReplacer() {
  static WindowsFileReplacer replacer;
  return replacer;
}

}  // namespace app

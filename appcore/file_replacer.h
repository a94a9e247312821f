#pragma once

#include <filesystem>
#include <memory>
#include <string_view>

namespace app {

// A new file being written beside the file it will replace. Until Commit succeeds the
// target is untouched; destroying an uncommitted one removes the temporary file.
class StagedFile {
 public:
  virtual ~StagedFile() = default;

  // Writes all of bytes; false on any failure.
  virtual bool Write(std::string_view bytes) = 0;

  // Forces the content to the disk and closes the file; false on any failure.
  virtual bool Finish() = 0;

  // Replaces the target with the finished file in one atomic step; false on failure.
  virtual bool Commit() = 0;
};

// The operating system's part of replacing a file safely; one implementation per platform.
class FileReplacer {
 public:
  virtual ~FileReplacer() = default;

  // False when an existing target may not be replaced: not a regular file, marked
  // read-only, or not writable by this process (e.g. held open by another program).
  // True when there is no such file yet.
  virtual bool CanReplace(const std::filesystem::path& target) = 0;

  // Creates an empty temporary file in the target's folder; nullptr when it cannot.
  virtual std::unique_ptr<StagedFile> Stage(const std::filesystem::path& target) = 0;
};

FileReplacer& PlatformFileReplacer();

}  // namespace app

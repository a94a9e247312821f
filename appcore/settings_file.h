#pragma once

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "appcore/file_replacer.h"
#include "rds/station.h"
#include "transfer/last_sent_record.h"

namespace app {

// The station settings file "tolvex.dat" in the program folder: 31 lines of Windows-1252
// text, one value per line, known by its line number alone.
inline constexpr const char* kSettingsFileName = "tolvex.dat";
inline constexpr std::size_t kSettingsLineCount = 31;
// A written file is under 1 KB; anything larger than this is refused unread.
inline constexpr std::size_t kSettingsFileLimit = 64 * 1024;

// The System tab's three choices.
struct SystemChoices {
  bool always_on_top = false;
  int port_index = 0;  // 0 LPT1, 1 LPT2, 2 COM1, 3 COM2
  bool high_priority = false;

  bool operator==(const SystemChoices&) const = default;
};

// Everything the file carries. A default-constructed value is a fresh window's: the
// values in force when there is no file.
struct SettingsValues {
  rds::StationSettings station;
  SystemChoices system;
  transfer::LastSentRecord last_sent{};
};

// What a load did, so that the window runs the handlers of the choices that changed (a
// selection or check mark that is already in place runs nothing).
struct LoadReport {
  bool found = false;          // a file was there and has been read
  bool file_used = false;      // false: no file, or not exactly 31 lines
  std::size_t line_count = 0;  // of a file found, as SettingsLineCount counts them
  bool always_on_top_changed = false;
  bool port_changed = false;
  bool high_priority_changed = false;
};

class SettingsFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file exists but cannot be read: no permission, not a regular file, too large. The
// message is the window's; reason() adds the cause for the command-line tool.
class CannotOpenFileError : public SettingsFileError {
 public:
  explicit CannotOpenFileError(const std::string& file_name, std::string reason = {})
      : SettingsFileError("Cannot open file " + file_name), reason_(std::move(reason)) {}
  const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

// The file cannot be created or replaced (read-only, a folder that cannot be written, held
// open by another program).
class CannotCreateFileError : public SettingsFileError {
 public:
  explicit CannotCreateFileError(const std::string& file_name)
      : SettingsFileError("Cannot create file " + file_name) {}
};

// Writing failed after the file was created, e.g. on a full disk.
class StreamWriteError : public SettingsFileError {
 public:
  StreamWriteError() : SettingsFileError("Stream write error") {}
};

// "tolvex.dat" in the given folder.
std::filesystem::path SettingsFilePath(const std::filesystem::path& folder);
// The file a save to path replaces: a link to the file is kept, and the file it points to
// is the one replaced (and created when the link dangles).
std::filesystem::path SettingsFileTarget(const std::filesystem::path& path);

// Splits text into lines: CR LF, a lone CR and a lone LF each end a line; a break at the
// very end starts no further line; a NUL ends the text.
std::vector<std::string_view> SplitLines(std::string_view text);

// The number of lines of the file's text, not counting empty lines after the 31st: an
// editor's extra line end at the end of the file does not make it another file.
std::size_t SettingsLineCount(std::string_view text);

// Applies the file's text onto values, line by line, when SettingsLineCount is exactly 31;
// any other count changes nothing. Returns whether the text was used.
bool ApplySettingsText(std::string_view text, SettingsValues& values);

// The file's 31 lines, each followed by CR LF. Values are written unchanged, except that a
// line break or NUL inside a value is written as a blank, so the file always reads back as
// 31 lines.
std::string FormatSettingsText(const SettingsValues& values);

// The file's bytes; nullopt when there is no such file. Throws CannotOpenFileError when the
// file exists but cannot be read, is not a regular file (a FIFO, a device) or is larger
// than kSettingsFileLimit; it never blocks.
std::optional<std::string> ReadSettingsText(const std::filesystem::path& path);

// Reads the file at path onto values. A missing file changes nothing and reports nothing.
// Throws CannotOpenFileError when the file exists but cannot be read.
LoadReport LoadSettingsFile(const std::filesystem::path& path, SettingsValues& values);

// Keeps a copy of a file that the load ignored before a save replaces it: the file's bytes
// go to "tolvex.dat.bak" beside it, or, when that holds something else already, to the
// first free of "tolvex.dat.bak2", "tolvex.dat.bak3"...; an existing copy of the same bytes
// is used as it is. Returns the copy's path; nullopt when there is no file at path. Throws
// CannotOpenFileError or CannotCreateFileError.
std::optional<std::filesystem::path> KeepSettingsFile(const std::filesystem::path& path);

// Writes values to path. The new content goes to a temporary file beside it that replaces
// the old file in one step once it is safely on disk, so a failed save leaves the earlier
// file as it was. Throws CannotCreateFileError or StreamWriteError.
void SaveSettingsFile(const std::filesystem::path& path, const SettingsValues& values,
                      FileReplacer& replacer = PlatformFileReplacer());

}  // namespace app

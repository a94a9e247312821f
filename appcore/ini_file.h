#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace app {

// One key of a section with the value the reader gives for it.
struct IniEntry {
  std::string key;
  std::string value;
};

// Initialisation-file reader for the program's 8-bit text files (Windows-1252 bytes,
// CR LF or LF line ends). It reads what Windows' profile reader reads, within the same
// limits, so that a file behaves alike on every platform:
// - "[name]" opens a section; section and key names match ignoring letter case; only the
//   first section of a name counts.
// - "key=value" lines are split at the first "=", blanks (spaces, tabs) around key and
//   value removed; a value in matching double or single quotes loses them.
// - Lines starting with ";", lines without "=" and lines with an empty key are ignored.
// - A key written more than once is listed once per line, and every lookup of it (letter
//   case ignored) gives the value of its first line.
class IniFile {
 public:
  // The reader hands out at most this many characters of a value (its value buffer holds
  // 2048 bytes including the terminating NUL).
  static constexpr std::size_t kValueLimit = 2047;
  // The key names of a section are listed into one buffer of this size, each name followed
  // by a NUL and the list by one more; a name that does not fit whole is not listed, nor
  // any after it.
  static constexpr std::size_t kKeyListBytes = 16384;

  // An empty file: no sections.
  IniFile() = default;
  explicit IniFile(std::string_view bytes);

  // Key names of the section in file order, repeats included, as far as the key-list
  // buffer holds them. Empty when the file has no such section.
  std::vector<std::string> KeyNames(std::string_view section) const;

  // Value of the first line of the section whose key matches, cut to kValueLimit
  // characters; nullopt when there is none.
  std::optional<std::string> Value(std::string_view section, std::string_view key) const;

  // The section as ReadSectionEntries gives it, in time linear in the section's size.
  std::vector<IniEntry> Entries(std::string_view section) const;

 private:
  struct Line {
    std::string key;
    std::string value;
  };
  struct Section {
    std::string name;
    std::vector<Line> lines;
  };

  const Section* FindSection(std::string_view name) const;

  std::vector<Section> sections_;
  // Lower-case name to the first section of that name: a file of many sections is
  // searched once, not once per lookup.
  std::unordered_map<std::string, std::size_t> section_index_;
};

// The section as a list of entries: one per listed key name, in file order, each with the
// value the reader returns for that name.
std::vector<IniEntry> ReadSectionEntries(const IniFile& file, std::string_view section);

}  // namespace app

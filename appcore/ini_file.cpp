#include "appcore/ini_file.h"

namespace app {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerName(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

// Names are 8-bit text; like the platform's reader, only ASCII letters fold.
bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

IniFile::IniFile(std::string_view bytes) {
  Section* current = nullptr;
  while (!bytes.empty()) {
    const auto end = bytes.find('\n');
    const std::string_view raw = bytes.substr(0, end);
    bytes.remove_prefix(end == std::string_view::npos ? bytes.size() : end + 1);

    const std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const auto close = line.find(']');
      if (close == std::string_view::npos) continue;
      sections_.push_back({std::string(Trim(line.substr(1, close - 1))), {}});
      section_index_.try_emplace(LowerName(sections_.back().name), sections_.size() - 1);
      current = &sections_.back();
      continue;
    }
    const auto equals = line.find('=');
    if (current == nullptr || equals == std::string_view::npos) continue;
    const std::string_view key = Trim(line.substr(0, equals));
    if (key.empty()) continue;
    current->lines.push_back(
        {std::string(key), std::string(Unquote(Trim(line.substr(equals + 1))))});
  }
}

const IniFile::Section* IniFile::FindSection(std::string_view name) const {
  const auto found = section_index_.find(LowerName(name));
  return found == section_index_.end() ? nullptr : &sections_[found->second];
}

std::vector<std::string> IniFile::KeyNames(std::string_view section_name) const {
  std::vector<std::string> names;
  const Section* section = FindSection(section_name);
  if (section == nullptr) return names;
  // One byte of the buffer stays free for the NUL that ends the list.
  std::size_t used = 0;
  for (const Line& line : section->lines) {
    used += line.key.size() + 1;
    if (used > kKeyListBytes - 1) break;
    names.push_back(line.key);
  }
  return names;
}

std::optional<std::string> IniFile::Value(std::string_view section_name,
                                          std::string_view key) const {
  const Section* section = FindSection(section_name);
  if (section == nullptr) return std::nullopt;
  for (const Line& line : section->lines) {
    if (SameName(line.key, key)) return line.value.substr(0, kValueLimit);
  }
  return std::nullopt;
}

std::vector<IniEntry> IniFile::Entries(std::string_view section_name) const {
  std::vector<IniEntry> entries;
  const Section* section = FindSection(section_name);
  if (section == nullptr) return entries;
  // Each name's first value, found in one pass rather than one scan per key.
  std::unordered_map<std::string, const std::string*> first_values;
  for (const Line& line : section->lines)
    first_values.try_emplace(LowerName(line.key), &line.value);
  for (std::string& key : KeyNames(section_name)) {
    std::string value = first_values.at(LowerName(key))->substr(0, kValueLimit);
    entries.push_back({std::move(key), std::move(value)});
  }
  return entries;
}

std::vector<IniEntry> ReadSectionEntries(const IniFile& file, std::string_view section) {
  return file.Entries(section);
}

}  // namespace app

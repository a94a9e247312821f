#include "appcore/settings_file.h"

#include <system_error>

#include "appcore/bounded_file.h"

namespace app {
namespace {

// Line numbers (from 1) of the file's values.
enum Line : std::size_t {
  kPsLine = 1,
  kPtyLine,
  kTpLine,
  kTaLine,
  kAf1Line,
  kMsLine = kAf1Line + rds::kAfCount,
  kPiLine,
  kDiLine,
  kAlwaysOnTopLine,
  kPortLine,
  kHighPriorityLine,
  kLastSentLine,
};
static_assert(kMsLine == 12 && kDiLine == 14 && kHighPriorityLine == 17);
static_assert(kLastSentLine - 1 + transfer::kLastSentLines == kSettingsLineCount);

// What the load takes back of each text: what the window's boxes hold at most.
constexpr std::size_t kPsKept = 8;
constexpr std::size_t kAfKept = 5;
constexpr std::size_t kPiKept = 4;

std::string Prefix(std::string_view line, std::size_t count) {
  return std::string(line.substr(0, count));
}

// 1 or 2 decimal digits with a value below 32; anything else is "(None)".
int ReadPty(std::string_view line) {
  if (line.empty() || line.size() > 2) return 0;
  int value = 0;
  for (char c : line) {
    if (c < '0' || c > '9') return 0;
    value = value * 10 + (c - '0');
  }
  return value < 32 ? value : 0;
}

int ReadFlag(std::string_view line) {
  return line == "1" ? 1 : 0;
}

// A line break or NUL inside a value would shift every later line or cut the text.
std::string OneLine(std::string_view value) {
  std::string out(value);
  for (char& c : out) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return out;
}

}  // namespace

// Links are followed one by one, so that a missing target is still found.
std::filesystem::path SettingsFileTarget(const std::filesystem::path& path) {
  constexpr int kMaxLinks = 40;
  std::filesystem::path target = path;
  std::error_code error;
  for (int hop = 0; hop < kMaxLinks && std::filesystem::is_symlink(target, error); ++hop) {
    const std::filesystem::path next = std::filesystem::read_symlink(target, error);
    if (error) break;
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return target.lexically_normal();
}

std::filesystem::path SettingsFilePath(const std::filesystem::path& folder) {
  return folder / kSettingsFileName;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::vector<std::string_view> lines;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(pos));
      break;
    }
    lines.push_back(text.substr(pos, end - pos));
    pos = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

std::size_t SettingsLineCount(std::string_view text) {
  const std::vector<std::string_view> lines = SplitLines(text);
  std::size_t count = lines.size();
  while (count > kSettingsLineCount && lines[count - 1].empty()) --count;
  return count;
}

bool ApplySettingsText(std::string_view text, SettingsValues& values) {
  if (SettingsLineCount(text) != kSettingsLineCount) return false;
  const std::vector<std::string_view> lines = SplitLines(text);
  const auto line = [&lines](std::size_t number) { return lines[number - 1]; };

  rds::StationSettings& station = values.station;
  station.ps = Prefix(line(kPsLine), kPsKept);
  station.pty = ReadPty(line(kPtyLine));
  station.tp = ReadFlag(line(kTpLine));
  station.ta = ReadFlag(line(kTaLine));
  for (std::size_t i = 0; i < rds::kAfCount; ++i) {
    station.af[i] = Prefix(line(kAf1Line + i), kAfKept);
  }
  station.ms = ReadFlag(line(kMsLine));
  station.pi = Prefix(line(kPiLine), kPiKept);

  // Written for items 3, 2, 1, 0; a "1" checks its item, nothing ever unchecks one.
  const std::string_view di = line(kDiLine);
  if (di.size() == station.di.size()) {
    for (std::size_t i = 0; i < di.size(); ++i) {
      if (di[i] == '1') station.di[di.size() - 1 - i] = true;
    }
  }

  if (line(kAlwaysOnTopLine) == "1") values.system.always_on_top = true;
  const std::string_view port = line(kPortLine);
  if (port == "1" || port == "2" || port == "3") values.system.port_index = port[0] - '0';
  if (line(kHighPriorityLine) == "1") values.system.high_priority = true;

  for (std::size_t k = 0; k < transfer::kLastSentLines; ++k) {
    values.last_sent[k] = std::string(line(kLastSentLine + k));
  }
  return true;
}

std::string FormatSettingsText(const SettingsValues& values) {
  const rds::StationSettings& station = values.station;
  const SystemChoices& system = values.system;
  std::string text;
  const auto add = [&text](std::string_view value) {
    text += OneLine(value);
    text += "\r\n";
  };

  add(station.ps);
  add(std::to_string(station.pty));
  add(std::to_string(station.tp));
  add(std::to_string(station.ta));
  for (const std::string& af : station.af) add(af);
  add(std::to_string(station.ms));
  add(station.pi);
  std::string di;
  for (std::size_t i = station.di.size(); i-- > 0;) di += station.di[i] ? '1' : '0';
  add(di);
  add(system.always_on_top ? "1" : "0");
  const int port = system.port_index;
  add(port >= 1 && port <= 3 ? std::to_string(port) : "0");
  add(system.high_priority ? "1" : "0");
  for (const std::string& line : values.last_sent) add(line);
  return text;
}

std::optional<std::string> ReadSettingsText(const std::filesystem::path& path) {
  BoundedRead read = ReadBoundedFile(path, kSettingsFileLimit);
  if (!read.found) return std::nullopt;
  if (read.failure != ReadFailure::kNone) {
    throw CannotOpenFileError(path.filename().string(),
                              DescribeReadFailure(read.failure, kSettingsFileLimit));
  }
  return std::move(read.bytes);
}

LoadReport LoadSettingsFile(const std::filesystem::path& path, SettingsValues& values) {
  LoadReport report;
  const std::optional<std::string> text = ReadSettingsText(path);
  if (!text) return report;

  report.found = true;
  report.line_count = SettingsLineCount(*text);
  const SystemChoices before = values.system;
  report.file_used = ApplySettingsText(*text, values);
  report.always_on_top_changed = values.system.always_on_top != before.always_on_top;
  report.port_changed = values.system.port_index != before.port_index;
  report.high_priority_changed = values.system.high_priority != before.high_priority;
  return report;
}

std::optional<std::filesystem::path> KeepSettingsFile(const std::filesystem::path& path) {
  const std::optional<std::string> bytes = ReadSettingsText(path);
  if (!bytes) return std::nullopt;
  constexpr int kMaxCopies = 100;
  for (int n = 1; n <= kMaxCopies; ++n) {
    std::filesystem::path copy = path;
    copy += n == 1 ? std::string(".bak") : ".bak" + std::to_string(n);
    const std::optional<std::string> old = ReadSettingsText(copy);
    if (old && *old == *bytes) return copy;
    if (old) continue;
    const std::unique_ptr<StagedFile> staged = PlatformFileReplacer().Stage(copy);
    if (!staged || !staged->Write(*bytes) || !staged->Finish() || !staged->Commit()) break;
    return copy;
  }
  throw CannotCreateFileError(path.filename().string() + ".bak");
}

void SaveSettingsFile(const std::filesystem::path& path, const SettingsValues& values,
                      FileReplacer& replacer) {
  const std::string name = path.filename().string();
  const std::filesystem::path target = SettingsFileTarget(path);

  // Checked first because the final rename would replace even a read-only file.
  if (!replacer.CanReplace(target)) throw CannotCreateFileError(name);
  const std::unique_ptr<StagedFile> staged = replacer.Stage(target);
  if (!staged) throw CannotCreateFileError(name);
  if (!staged->Write(FormatSettingsText(values)) || !staged->Finish()) throw StreamWriteError();
  if (!staged->Commit()) throw CannotCreateFileError(name);
}

}  // namespace app

#include "serve/text_commands.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <vector>

#include "cmdline/arguments.h"
#include "cmdline/field_options.h"
#include "cmdline/quote.h"
#include "cmdline/usage_error.h"
#include "rds/cp1252.h"
#include "rds/station_checks.h"

namespace serve {
namespace {

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// The UsageError text without its "option --xx: " lead.
std::string Reason(const std::string& message) {
  const auto colon = message.find(": ");
  if (message.rfind("option --", 0) == 0 && colon != std::string::npos) {
    return message.substr(colon + 2);
  }
  return message;
}

std::vector<std::string> SplitCommas(std::string_view text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const auto comma = text.find(',', start);
    parts.emplace_back(text.substr(start, comma - start));
    if (comma == std::string_view::npos) return parts;
    start = comma + 1;
  }
}

void Set(const std::string& name, std::string_view value, StationControl& station,
         const TextAnswer& answer) {
  const rds::StationSettings& now = station.Settings();
  rds::StationSettings next = now;
  std::vector<std::string> args;
  if (name == "AF") {
    if (value.empty()) {
      next.af = {};
    } else {
      // The commas separate the list, so each value has a full stop as its decimal mark.
      for (const std::string& box : SplitCommas(value)) args.insert(args.end(), {"--af", box});
    }
  } else {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    args = {"--" + lower, std::string(value)};
  }
  if (!args.empty()) {
    cmdline::FieldOptions options;
    cmdline::Arguments parser(args);
    try {
      while (!parser.AtEnd()) {
        const std::string taken = parser.NextOption();
        options.Parse(taken, parser);
      }
    } catch (const cmdline::UsageError& e) {
      answer("NO " + Reason(e.what()));
      return;
    }
    next = options.ApplyTo(next);
  }
  // Taken and sent all the same, but the client hears of the mistakes this change makes.
  std::string warnings;
  for (const rds::StationWarning& warning : rds::CheckStation(next, station.CallLetters())) {
    if (!rds::WarningConcerns(warning, name)) continue;
    warnings += (warnings.empty() ? "" : "; ") + rds::Cp1252ToUtf8(rds::WarningText(warning));
  }
  // Taken and sent, but when its save failed a restart would lose it: the client is told.
  station.Change(next, name, [answer, warnings](const std::optional<std::string>& failure) {
    std::string reply = failure ? "OK but not saved: " + *failure : "OK";
    if (!warnings.empty()) reply += (failure ? "; warning: " : " warning: ") + warnings;
    answer(reply);
  });
}

std::string Get(const std::string& name, const rds::StationSettings& s) {
  std::string value;
  if (name == "PS") {
    value = rds::Cp1252ToUtf8(s.ps);
  } else if (name == "PI") {
    value = rds::Cp1252ToUtf8(s.pi);
  } else if (name == "PTY") {
    value = std::to_string(s.pty);
  } else if (name == "TP") {
    value = std::to_string(s.tp);
  } else if (name == "TA") {
    value = std::to_string(s.ta);
  } else if (name == "MS") {
    value = std::to_string(s.ms);
  } else if (name == "DI") {
    for (std::size_t i = 0; i < 4; ++i) value += s.di[3 - i] ? '1' : '0';
  } else {
    for (const std::string& box : s.af) {
      if (rds::AfEntryCode(box) == 0) continue;  // a send drops it, so it is not on air
      if (!value.empty()) value += ',';
      std::string text = rds::Cp1252ToUtf8(box);
      // A box may hold a comma as its decimal mark (a settings file from the window).
      std::replace(text.begin(), text.end(), ',', '.');
      value += text;
    }
  }
  return name + "=" + value;
}

bool IsField(const std::string& name) {
  static constexpr const char* kFields[] = {"PS", "PI", "PTY", "TP", "TA", "MS", "DI", "AF"};
  return std::find(std::begin(kFields), std::end(kFields), name) != std::end(kFields);
}

struct NotCarriedName {
  const char* name;
  NotCarried what;
};

constexpr std::array kNotCarried = {
    NotCarriedName{"TEXT", NotCarried::kRadioText}, NotCarriedName{"RT", NotCarried::kRadioText},
    NotCarriedName{"RT1", NotCarried::kRadioText},  NotCarriedName{"RT2", NotCarried::kRadioText},
    NotCarriedName{"DPS", NotCarried::kDynamicPs},  NotCarriedName{"DPS1", NotCarried::kDynamicPs},
};

}  // namespace

NotCarried NotCarriedCommand(std::string_view line) {
  const std::string upper = Upper(line.substr(0, std::min<std::size_t>(line.size(), 8)));
  if (upper.rfind("RT+", 0) == 0) return NotCarried::kRadioText;  // RadioText Plus tags
  const auto eq = upper.find('=');
  if (eq == std::string::npos) return NotCarried::kNone;
  for (const NotCarriedName& n : kNotCarried) {
    if (upper.compare(0, eq, n.name) == 0) return n.what;
  }
  return NotCarried::kNone;
}

void TextLineReader::Feed(std::string_view bytes, const Sink& sink) {
  for (const char c : bytes) {
    if (c == '\n') {
      if (!overlong_ && !line_.empty() && line_.back() == '\r') line_.pop_back();
      sink(line_, overlong_);
      line_.clear();
      overlong_ = false;
    } else if (overlong_) {
      continue;
    } else if (line_.size() < kMaxCommandLine + 1) {  // room for the CR of a CR LF
      line_ += c;
    } else {
      overlong_ = true;
      line_.clear();
    }
  }
}

void RunTextCommand(std::string_view line, StationControl& station, const TextAnswer& answer) {
  if (line.size() > kMaxCommandLine) return answer("NO line longer than 255 bytes");
  switch (NotCarriedCommand(line)) {
    case NotCarried::kRadioText:
      return answer("NO this encoder carries no RadioText");
    case NotCarried::kDynamicPs:
      return answer("NO this encoder carries no dynamic PS");
    case NotCarried::kNone:
      break;
  }
  if (!rds::IsUtf8(line)) return answer("NO text is not valid UTF-8");
  const auto eq = line.find('=');
  if (eq != std::string_view::npos) {
    const std::string name = Upper(line.substr(0, eq));
    if (!IsField(name)) return answer("NO unknown field " + cmdline::Quote(line.substr(0, eq)));
    return Set(name, line.substr(eq + 1), station, answer);
  }
  const std::string command = Upper(line);
  if (!command.empty() && command.back() == '?' && IsField(command.substr(0, command.size() - 1))) {
    return answer(Get(command.substr(0, command.size() - 1), station.Settings()));
  }
  if (command == "SEND") {
    station.RequestSend();
    return answer("OK");
  }
  if (command == "STATUS") return answer(station.Status());
  if (command == "ALARMTEST") return answer(station.TestAlarm());
  answer("NO unknown command");
}

}  // namespace serve

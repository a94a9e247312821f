#include "transfer/last_sent_record.h"

namespace transfer {

LastSentRecord BuildLastSentRecord(const rds::StationSettings& settings) {
  LastSentRecord record;
  std::size_t line = 0;
  record[line++] = "PS=" + settings.ps;
  record[line++] = "PTY=" + std::to_string(settings.pty);
  record[line++] = "TP=" + std::to_string(settings.tp);
  record[line++] = "TA=" + std::to_string(settings.ta);
  for (std::size_t i = 0; i < settings.af.size(); ++i) {
    record[line++] = "AF" + std::to_string(i + 1) + "=" + settings.af[i];
  }
  record[line++] = "MS=" + std::to_string(settings.ms);
  record[line++] = "PI=" + settings.pi;
  std::string di;
  for (std::size_t item = settings.di.size(); item-- > 0;) di += settings.di[item] ? '1' : '0';
  record[line++] = "DI=" + di;
  return record;
}

std::optional<rds::StationSettings> SettingsOfRecord(const LastSentRecord& record) {
  // The names in the order BuildLastSentRecord writes them.
  const LastSentRecord names = BuildLastSentRecord({});
  std::array<std::string, kLastSentLines> values;
  for (std::size_t i = 0; i < kLastSentLines; ++i) {
    const std::string name = names[i].substr(0, names[i].find('=') + 1);
    if (record[i].rfind(name, 0) != 0) return std::nullopt;
    values[i] = record[i].substr(name.size());
  }
  const auto number = [](const std::string& text) -> std::optional<int> {
    if (text.empty() || text.size() > 3 ||
        text.find_first_not_of("-0123456789") != std::string::npos)
      return std::nullopt;
    return std::stoi(text);
  };
  rds::StationSettings settings;
  settings.ps = values[0];
  const auto pty = number(values[1]), tp = number(values[2]), ta = number(values[3]),
             ms = number(values[11]);
  if (!pty || !tp || !ta || !ms || values[13].size() != 4) return std::nullopt;
  settings.pty = *pty;
  settings.tp = *tp;
  settings.ta = *ta;
  for (std::size_t i = 0; i < settings.af.size(); ++i) settings.af[i] = values[4 + i];
  settings.ms = *ms;
  settings.pi = values[12];
  for (std::size_t item = 0; item < settings.di.size(); ++item)
    settings.di[item] = values[13][settings.di.size() - 1 - item] == '1';
  return settings;
}

}  // namespace transfer

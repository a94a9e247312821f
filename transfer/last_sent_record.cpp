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

}  // namespace transfer

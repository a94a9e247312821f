#pragma once

#include <sstream>
#include <string>

#include "appcore/settings_file.h"

namespace app {

// Every stored value by name, so that two values compare with a readable difference.
inline std::string Dump(const SettingsValues& v) {
  std::ostringstream out;
  out << "ps=[" << v.station.ps << "] pi=[" << v.station.pi << "] pty=" << v.station.pty
      << " tp=" << v.station.tp << " ta=" << v.station.ta << " ms=" << v.station.ms << " di=";
  for (bool d : v.station.di) out << d;
  for (const std::string& af : v.station.af) out << " af=[" << af << ']';
  out << " top=" << v.system.always_on_top << " port=" << v.system.port_index
      << " hipri=" << v.system.high_priority;
  for (const std::string& line : v.last_sent) out << "\nsent=[" << line << ']';
  return out.str();
}

// A file's bytes, once loaded onto a fresh window, must save and load back to the same
// values. Returns an empty string when it holds, else what differed.
inline std::string CheckLoadRoundTrip(std::string_view bytes) {
  SettingsValues first;
  if (!ApplySettingsText(bytes, first)) return "";
  const std::string saved = FormatSettingsText(first);
  if (SplitLines(saved).size() != kSettingsLineCount) return "saved text is not 31 lines";
  SettingsValues second;
  if (!ApplySettingsText(saved, second)) return "saved text was not used";
  if (Dump(first) != Dump(second)) return Dump(first) + "\n--- became ---\n" + Dump(second);
  return "";
}

}  // namespace app

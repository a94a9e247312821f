#include "cli/level_report.h"

#include <cstdio>

namespace cli {
namespace {

std::string Printed(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// " (over 12 s)" for a span shorter than the measurement's own.
std::string Shorter(std::chrono::duration<double> span, std::chrono::seconds full) {
  return span < full ? Printed(" (over %.0f s)", span.count()) : "";
}

}  // namespace

std::string LevelsText(const receiver::Levels& l) {
  using receiver::LevelMeter;
  const std::string errors = Printed("block errors %.1f%%", l.block_errors_percent) +
                             Shorter(l.block_errors_span, LevelMeter::kBlockErrorSpan);
  if (!l.scaled) return "levels: no pilot to take the scale from, " + errors;
  return "levels pilot " + Printed("%.2f kHz", l.pilot_khz) + ", RDS " +
         Printed("%.2f kHz", l.rds_khz) + ", peak " + Printed("%.1f kHz", l.peak_khz) + ", " +
         Printed("%.2f%%", l.over_percent) + " above " + Printed("%.1f kHz", l.over_khz) +
         ", MPX power " + Printed("%+.1f dBr", l.mpx_power_dbr) +
         Shorter(l.mpx_power_span, LevelMeter::kPowerSpan) + ", " + errors;
}

std::string LevelsJson(const receiver::Levels& l, const std::vector<receiver::LevelFault>& faults) {
  // Levels without a scale are unknown: null.
  const auto value = [&](const char* format, double v) {
    return l.scaled ? Printed(format, v) : std::string("null");
  };
  std::string out =
      "{\"levels\":{\"time\":" + Printed("%.3f", l.at.count()) +
      ",\"pilot_khz\":" + value("%.2f", l.pilot_khz) + ",\"rds_khz\":" + value("%.2f", l.rds_khz) +
      ",\"peak_khz\":" + value("%.1f", l.peak_khz) +
      ",\"over_khz\":" + Printed("%.1f", l.over_khz) +
      ",\"over_percent\":" + value("%.3f", l.over_percent) +
      ",\"mpx_power_dbr\":" + value("%.2f", l.mpx_power_dbr) +
      ",\"mpx_power_s\":" + Printed("%.1f", l.mpx_power_span.count()) +
      ",\"block_errors_percent\":" + Printed("%.1f", l.block_errors_percent) +
      ",\"block_errors_s\":" + Printed("%.1f", l.block_errors_span.count()) + ",\"faults\":[";
  for (std::size_t i = 0; i < faults.size(); ++i) {
    out +=
        (i ? ",\"" : "\"") + std::string(receiver::LevelConditionName(faults[i].condition)) + '"';
  }
  return out + "]}}";
}

}  // namespace cli

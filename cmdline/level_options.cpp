#include "cmdline/level_options.h"

#include <sstream>

#include "cmdline/quote.h"
#include "cmdline/usage_error.h"

namespace cmdline {
namespace {

// Deviations a monitor can read: well past any FM broadcast, and a scale of a sound card's
// full scale up to 10 MHz.
constexpr double kHighestKhz = 200;
constexpr double kHighestScaleKhz = 10000;
constexpr double kPowerRangeDbr = 20;

}  // namespace

double DecimalArgument(const std::string& option, const std::string& value, double low,
                       double high) {
  std::size_t used = 0;
  double number = 0;
  try {
    number = std::stod(value, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != value.size() || !(number >= low && number <= high)) {
    std::ostringstream range;
    range << low << " to " << high;
    throw UsageError("option " + option + ": expected a number from " + range.str() + ", got " +
                     Quote(value));
  }
  return number;
}

bool LevelOptions::Parse(const std::string& option, Arguments& args) {
  const auto khz = [&](double low, double high) {
    return DecimalArgument(option, args.Value(), low, high);
  };
  if (option == "--full-scale-khz") {
    scale_.full_scale_khz = khz(1, kHighestScaleKhz);
  } else if (option == "--pilot-khz") {
    scale_.pilot_khz = khz(0.1, kHighestKhz);
  } else if (option == "--rds-injection-min") {
    limits_.rds_min_khz = khz(0, kHighestKhz);
  } else if (option == "--rds-injection-max") {
    limits_.rds_max_khz = khz(0, kHighestKhz);
  } else if (option == "--pilot-min") {
    limits_.pilot_min_khz = khz(0, kHighestKhz);
  } else if (option == "--pilot-max") {
    limits_.pilot_max_khz = khz(0, kHighestKhz);
  } else if (option == "--deviation-max") {
    limits_.deviation_max_khz = khz(1, kHighestKhz);
  } else if (option == "--mpx-power-max") {
    limits_.mpx_power_max_dbr = khz(-kPowerRangeDbr, kPowerRangeDbr);
  } else {
    return false;
  }
  return true;
}

void LevelOptions::Check() const {
  if (scale_.full_scale_khz && scale_.pilot_khz) {
    throw UsageError("give either --full-scale-khz or --pilot-khz");
  }
  if (limits_.rds_min_khz > limits_.rds_max_khz) {
    throw UsageError("option --rds-injection-min: above --rds-injection-max");
  }
  if (limits_.pilot_min_khz > limits_.pilot_max_khz) {
    throw UsageError("option --pilot-min: above --pilot-max");
  }
}

receiver::MeterOptions LevelOptions::Meter() const {
  return {scale_, limits_.deviation_max_khz};
}

const char* LevelOptions::Help() {
  return "Levels (every 10 s, in kHz of deviation; see the monitor's documentation):\n"
         "  --full-scale-khz KHZ  the deviation of a full-scale sample (default: the\n"
         "                        sample rate in kHz, the scale rtl_fm writes)\n"
         "  --pilot-khz KHZ       take the scale from the pilot, known to be at KHZ\n"
         "  --rds-injection-min KHZ, --rds-injection-max KHZ\n"
         "                        the RDS subcarrier's limits (2.0, 7.5)\n"
         "  --pilot-min KHZ, --pilot-max KHZ\n"
         "                        the pilot's limits (6.0, 7.5; --pilot-min 0 for mono)\n"
         "  --deviation-max KHZ   at most 0.1% of the samples above it over 10 s (75)\n"
         "  --mpx-power-max DBR   MPX power over 60 s (ITU-R BS.412 sets +0.0; default:\n"
         "                        not judged)\n";
}

}  // namespace cmdline

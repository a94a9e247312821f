#pragma once

#include <string>

#include "cli/arguments.h"
#include "rds/station.h"

namespace cli {

// The station field options shared by the commands that encode: --ps, --pi, --pty, --tp,
// --ta, --ms, --di, --af (repeatable), --decimal-separator.
class FieldOptions {
 public:
  // Starts from a fresh window's values and the locale's decimal separator.
  FieldOptions();

  // Applies option if it is a field option, reading its value from args; returns false
  // for any other option. Throws UsageError for a bad value.
  bool Parse(const std::string& option, Arguments& args);

  // Settings with the given options applied over base (the AF list replaces base's
  // boxes when any --af was given).
  rds::StationSettings ApplyTo(rds::StationSettings base) const;

  static const char* Help();

 private:
  rds::StationSettings values_;
  bool ps_ = false, pi_ = false, pty_ = false, tp_ = false, ta_ = false, ms_ = false,
       di_ = false, af_ = false, separator_ = false;
  std::size_t af_count_ = 0;
};

// The user's decimal symbol, "." when the locale gives none usable.
char LocaleDecimalSeparator();

}  // namespace cli

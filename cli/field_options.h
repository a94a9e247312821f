#pragma once

#include <optional>
#include <string>

#include "appcore/settings_file.h"
#include "cli/arguments.h"
#include "rds/station.h"

namespace cli {

// The station field options shared by the commands that encode: --settings, --ps, --pi,
// --pty, --tp, --ta, --ms, --di, --af (repeatable), --decimal-separator.
class FieldOptions {
 public:
  // Starts from a fresh window's values and the locale's decimal separator.
  FieldOptions();
  // Starts from a fresh window's values and the decimal separator given.
  explicit FieldOptions(char decimal_separator);

  // Applies option if it is a field option, reading its value from args; returns false
  // for any other option. Throws UsageError for a bad value. --settings FILE reads the
  // file at once: a missing file throws std::runtime_error, an unreadable one
  // app::CannotOpenFileError.
  bool Parse(const std::string& option, Arguments& args);

  // Settings with the --settings file loaded onto base as at start-up, then the other
  // options applied over that (the AF list replaces the boxes when any --af was given).
  rds::StationSettings ApplyTo(rds::StationSettings base) const;

  // The same for everything the settings file holds: the System tab's choices and the
  // Last-sent record come from the file alone.
  app::SettingsValues ApplyTo(app::SettingsValues base) const;

  // The --settings file as given, if any.
  const std::optional<std::string>& SettingsFile() const { return settings_file_; }

  static const char* Help();

 private:
  rds::StationSettings values_;
  std::optional<std::string> settings_text_;
  std::optional<std::string> settings_file_;
  bool ps_ = false, pi_ = false, pty_ = false, tp_ = false, ta_ = false, ms_ = false, di_ = false,
       af_ = false, separator_ = false;
  std::size_t af_count_ = 0;
};

// The user's decimal symbol, "." when the locale gives none usable.
char LocaleDecimalSeparator();

}  // namespace cli

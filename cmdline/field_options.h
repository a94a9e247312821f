#pragma once

#include <optional>
#include <string>

#include "appcore/settings_file.h"
#include "cmdline/arguments.h"
#include "rds/rbds.h"
#include "rds/station.h"

namespace cmdline {

// The station field options shared by the commands that encode: --settings, --ps, --pi,
// --pty, --tp, --ta, --ms, --di, --af (repeatable), --call and --rbds. Values a send would
// drop or change are refused.
class FieldOptions {
 public:
  // Applies option if it is a field option, reading its value from args; returns false
  // for any other option. Throws UsageError for a bad value. --settings FILE reads the
  // file at once: a missing file, or one that is not 31 lines, throws std::runtime_error,
  // an unreadable one app::CannotOpenFileError.
  bool Parse(const std::string& option, Arguments& args);

  // Settings with the --settings file loaded onto base as at start-up, then the other
  // options applied over that (the AF list replaces the boxes when any --af was given).
  rds::StationSettings ApplyTo(rds::StationSettings base) const;

  // The same for everything the settings file holds: the System tab's choices and the
  // Last-sent record come from the file alone.
  app::SettingsValues ApplyTo(app::SettingsValues base) const;

  // A line for stderr when an option was given that is still taken but does nothing now.
  std::optional<std::string> ObsoleteNote() const;

  // The --settings file as given, if any.
  const std::optional<std::string>& SettingsFile() const { return settings_file_; }

  // North America's RBDS (--rbds, or --call): its program type names, and the PI checked
  // against the call letters.
  rds::PtyNames PtyList() const { return rbds_ ? rds::PtyNames::kRbds : rds::PtyNames::kRds; }
  // The --call letters, upper case, if any.
  const std::optional<std::string>& CallLetters() const { return call_; }

  // "rdsq7-cli: warning: ..." lines for the mistakes in settings; empty when there is none.
  std::string WarningLines(const rds::StationSettings& settings) const;

  // The options' help, with the program type names of the list chosen by --rbds or --call
  // among args (wherever they stand).
  static std::string Help(const Arguments& args);

 private:
  rds::StationSettings values_;
  std::optional<std::string> settings_text_;
  std::optional<std::string> settings_file_;
  bool ps_ = false, pi_ = false, pty_ = false, tp_ = false, ta_ = false, ms_ = false, di_ = false,
       af_ = false;
  std::size_t af_count_ = 0;
  bool decimal_separator_ = false;
  bool rbds_ = false;
  std::optional<std::string> call_;
  std::string call_pi_;
};

}  // namespace cmdline

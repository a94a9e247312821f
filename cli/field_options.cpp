#include "cli/field_options.h"

#include <clocale>
#include <stdexcept>

#include "cli/quote.h"
#include "cli/usage_error.h"
#include "rds/cp1252.h"

namespace cli {
namespace {

std::string ToCp1252(const std::string& option, const std::string& utf8) {
  auto bytes = rds::Utf8ToCp1252(utf8);
  if (!bytes) {
    throw UsageError("option " + option +
                     ": text holds a character the Windows-1252 character set cannot hold");
  }
  return *bytes;
}

std::string BoxText(const std::string& option, const std::string& utf8, std::size_t limit) {
  std::string bytes = ToCp1252(option, utf8);
  // A line break or other control character would be sent, and would break the Last-sent
  // record and the settings file into extra lines.
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      throw UsageError("option " + option + ": text holds a control character: " + Quote(utf8));
    }
  }
  if (bytes.size() > limit) {
    throw UsageError("option " + option + ": at most " + std::to_string(limit) +
                     " characters, got " + std::to_string(bytes.size()));
  }
  return bytes;
}

int ListPosition(const std::string& option, const std::string& value, int last) {
  int n = -1;
  const bool digits = !value.empty() && value.size() <= 2 &&
                      value.find_first_not_of("0123456789") == std::string::npos;
  if (digits) n = std::stoi(value);
  if (n < 0 || n > last) {
    throw UsageError("option " + option + ": expected a number from 0 to " + std::to_string(last) +
                     ", got " + Quote(value));
  }
  return n;
}

}  // namespace

char LocaleDecimalSeparator() {
  std::setlocale(LC_NUMERIC, "");
  const std::lconv* conv = std::localeconv();
  char separator = '.';
  if (conv && conv->decimal_point && conv->decimal_point[0] != '\0' &&
      conv->decimal_point[1] == '\0') {
    separator = conv->decimal_point[0];
  }
  std::setlocale(LC_NUMERIC, "C");
  return separator;
}

FieldOptions::FieldOptions() : FieldOptions(LocaleDecimalSeparator()) {}

FieldOptions::FieldOptions(char decimal_separator) {
  values_.decimal_separator = decimal_separator;
}

bool FieldOptions::Parse(const std::string& option, Arguments& args) {
  if (option == "--settings") {
    if (settings_text_) throw UsageError("option --settings: given more than once");
    const std::string file = args.Value();
    try {
      settings_text_ = app::ReadSettingsText(PathArgument(file));
    } catch (const app::CannotOpenFileError& e) {
      if (e.reason().empty()) throw;
      throw std::runtime_error(std::string(e.what()) + " (" + e.reason() + ")");
    }
    if (!settings_text_) throw std::runtime_error("option --settings: no such file " + Quote(file));
    settings_file_ = file;
  } else if (option == "--ps") {
    values_.ps = BoxText(option, args.Value(), rds::kPsLength);
    ps_ = true;
  } else if (option == "--pi") {
    values_.pi = BoxText(option, args.Value(), rds::kPiLength);
    pi_ = true;
  } else if (option == "--pty") {
    values_.pty = ListPosition(option, args.Value(), 31);
    pty_ = true;
  } else if (option == "--tp") {
    values_.tp = ListPosition(option, args.Value(), 1);
    tp_ = true;
  } else if (option == "--ta") {
    values_.ta = ListPosition(option, args.Value(), 1);
    ta_ = true;
  } else if (option == "--ms") {
    values_.ms = ListPosition(option, args.Value(), 1);
    ms_ = true;
  } else if (option == "--di") {
    const std::string value = args.Value();
    if (value.size() != 4 || value.find_first_not_of("01") != std::string::npos) {
      throw UsageError(
          "option --di: expected four characters 0 or 1 (DPTY, Comp., Art. H., "
          "Stereo), got " +
          Quote(value));
    }
    // Written in the order of items 3, 2, 1, 0, as the Last-sent record shows them.
    for (std::size_t i = 0; i < 4; ++i) values_.di[3 - i] = value[i] == '1';
    di_ = true;
  } else if (option == "--af") {
    if (af_count_ == rds::kAfCount) {
      throw UsageError("option --af: at most 7 alternative frequencies");
    }
    values_.af[af_count_++] = BoxText(option, args.Value(), rds::kAfLength);
    af_ = true;
  } else if (option == "--decimal-separator") {
    const std::string value = ToCp1252(option, args.Value());
    if (value.size() != 1 || (value[0] >= '0' && value[0] <= '9')) {
      throw UsageError("option --decimal-separator: expected one character that is not a digit");
    }
    values_.decimal_separator = value[0];
    separator_ = true;
  } else {
    return false;
  }
  return true;
}

rds::StationSettings FieldOptions::ApplyTo(rds::StationSettings base) const {
  app::SettingsValues values;
  values.station = std::move(base);
  return ApplyTo(std::move(values)).station;
}

app::SettingsValues FieldOptions::ApplyTo(app::SettingsValues values) const {
  // A file the start-up would ignore (not 31 lines) leaves the values as they were.
  if (settings_text_) app::ApplySettingsText(*settings_text_, values);
  rds::StationSettings& base = values.station;
  if (ps_) base.ps = values_.ps;
  if (pi_) base.pi = values_.pi;
  if (pty_) base.pty = values_.pty;
  if (tp_) base.tp = values_.tp;
  if (ta_) base.ta = values_.ta;
  if (ms_) base.ms = values_.ms;
  if (di_) base.di = values_.di;
  if (af_) base.af = values_.af;
  base.decimal_separator = values_.decimal_separator;
  return values;
}

const char* FieldOptions::Help() {
  return "Station fields (default: the window's initial values):\n"
         "  --settings FILE       start from a station settings file (tolvex.dat) as the\n"
         "                        program loads it at start-up; the options below change\n"
         "                        its values\n"
         "  --ps TEXT             Program Service name, at most 8 characters (FM RADIO)\n"
         "  --pi TEXT             Program Identification, four hex digits (FFFF)\n"
         "  --pty N               Program Type 0 to 31 (0)\n"
         "  --tp 0|1              Traffic Program (1)\n"
         "  --ta 0|1              Traffic Announcement (0)\n"
         "  --ms 0|1              0 Speech, 1 Music (1)\n"
         "  --di XXXX             DI flags DPTY, Comp., Art. H., Stereo as 0/1 (0000)\n"
         "  --af TEXT             alternative frequency in MHz, at most 5 characters as in\n"
         "                        the window; repeat for up to seven, in the window's order\n"
         "  --decimal-separator C\n"
         "                        the decimal symbol AF values use (from the locale)\n"
         "PI and AF texts are corrected as a send corrects them: a PI that is not four\n"
         "hex digits becomes FFFF, and invalid AF entries are dropped.\n";
}

}  // namespace cli

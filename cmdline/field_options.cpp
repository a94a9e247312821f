#include "cmdline/field_options.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <stdexcept>

#include "cmdline/quote.h"
#include "cmdline/usage_error.h"
#include "rds/cp1252.h"
#include "rds/rds_charset.h"
#include "rds/station_checks.h"

namespace cmdline {
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

// Receivers show the PS name through the RDS character table; a character above ASCII that
// it lacks would go on the air as another one (ÿ as y) or as a space. ASCII goes as typed.
std::string PsText(const std::string& utf8) {
  std::string ps = BoxText("--ps", utf8, rds::kPsLength);
  for (const char c : ps) {
    const auto byte = static_cast<unsigned char>(c);
    const auto shown = rds::RdsCharacterToUnicode(rds::ToRdsCharacter(byte));
    if (byte < 0x80 || shown == rds::Cp1252ToUnicode(byte)) continue;
    const auto shown_byte = shown ? rds::UnicodeToCp1252(*shown) : std::nullopt;
    throw UsageError(
        "option --ps: " + Quote(rds::Cp1252ToUtf8(std::string(1, c))) +
        " is not in the RDS character set; it would go on the air as " +
        Quote(rds::Cp1252ToUtf8(std::string(1, static_cast<char>(shown_byte.value_or(' '))))));
  }
  return ps;
}

// A PI goes on the air only as four hexadecimal digits; a send makes anything else FFFF.
std::string PiText(const std::string& utf8) {
  std::string pi = BoxText("--pi", utf8, rds::kPiLength);
  const bool hex = pi.size() == rds::kPiLength &&
                   pi.find_first_not_of("0123456789ABCDEFabcdef") == std::string::npos;
  if (!hex) throw UsageError("option --pi: expected four hexadecimal digits, got " + Quote(utf8));
  for (char& c : pi) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return pi;
}

// An AF entry the send takes as it is: digits, at most one decimal with either mark, and a
// frequency of the band. Anything a send would drop, or read otherwise than written, is
// refused here.
std::string AfText(const std::string& utf8) {
  std::string af = BoxText("--af", utf8, rds::kAfLength);
  const std::size_t mark = af.find_first_of(".,");
  const bool one_mark =
      mark == std::string::npos || af.find_first_of(".,", mark + 1) == std::string::npos;
  if (af.empty() || af.find_first_not_of("0123456789.,") != std::string::npos || !one_mark ||
      mark == 0 || mark + 1 == af.size()) {
    throw UsageError("option --af: expected a frequency in MHz such as 98.5, got " + Quote(utf8));
  }
  if (mark != std::string::npos && af.size() - mark - 1 > 1) {
    throw UsageError("option --af: at most one decimal is sent (steps of 0.1 MHz), got " +
                     Quote(utf8));
  }
  if (rds::AfEntryCode(af) == 0) {
    throw UsageError("option --af: outside 87.6 to 107.9 MHz, got " + Quote(utf8));
  }
  std::replace(af.begin(), af.end(), ',', '.');  // what the tool writes is read everywhere
  return af;
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
    if (!settings_text_)
      throw std::runtime_error("option --settings: no such file " + QuotePath(file));
    // Named on purpose, so a file the window would pass over in silence is an error here.
    const std::size_t lines = app::SettingsLineCount(*settings_text_);
    if (lines != app::kSettingsLineCount) {
      throw std::runtime_error("option --settings: " + QuotePath(file) +
                               " is not a station settings file: it has " + std::to_string(lines) +
                               " lines, not " + std::to_string(app::kSettingsLineCount));
    }
    settings_file_ = file;
  } else if (option == "--ps") {
    values_.ps = PsText(args.Value());
    ps_ = true;
  } else if (option == "--pi") {
    values_.pi = PiText(args.Value());
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
    values_.af[af_count_++] = AfText(args.Value());
    af_ = true;
  } else if (option == "--call") {
    const std::string value = args.Value();
    std::uint16_t pi = 0;
    try {
      pi = rds::PiFromCallLetters(value);
    } catch (const std::invalid_argument& e) {
      throw UsageError("option --call: " + std::string(e.what()));
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04X", pi);
    call_pi_ = hex;
    call_ = rds::CallLettersFromPi(pi);
    rbds_ = true;
  } else if (option == "--rbds") {
    args.NoValue();
    rbds_ = true;
  } else if (option == "--decimal-separator") {
    // Scripts of earlier releases pass it; either mark is read now, so the value is unused.
    args.Value();
    decimal_separator_ = true;
  } else {
    return false;
  }
  return true;
}

std::optional<std::string> FieldOptions::ObsoleteNote() const {
  if (!decimal_separator_) return std::nullopt;
  return "rdsq7-cli: note: --decimal-separator is no longer needed and is ignored: AF entries "
         "take '.' or ',' as the decimal mark";
}

rds::StationSettings FieldOptions::ApplyTo(rds::StationSettings base) const {
  app::SettingsValues values;
  values.station = std::move(base);
  return ApplyTo(std::move(values)).station;
}

app::SettingsValues FieldOptions::ApplyTo(app::SettingsValues values) const {
  if (settings_text_) app::ApplySettingsText(*settings_text_, values);
  rds::StationSettings& base = values.station;
  if (ps_) base.ps = values_.ps;
  if (pi_) {
    base.pi = values_.pi;
  } else if (call_) {
    base.pi = call_pi_;  // --pi, when given too, is sent, and checked against the call
  }
  if (pty_) base.pty = values_.pty;
  if (tp_) base.tp = values_.tp;
  if (ta_) base.ta = values_.ta;
  if (ms_) base.ms = values_.ms;
  if (di_) base.di = values_.di;
  if (af_) base.af = values_.af;
  return values;
}

std::string FieldOptions::WarningLines(const rds::StationSettings& settings) const {
  std::string out;
  for (const rds::StationWarning& warning : rds::CheckStation(settings, call_)) {
    out += "rdsq7-cli: warning: " + rds::Cp1252ToUtf8(rds::WarningText(warning)) + '\n';
  }
  return out;
}

std::string FieldOptions::Help(const Arguments& args) {
  const auto& all = args.All();
  const bool rbds = std::find_if(all.begin(), all.end(), [](const std::string& a) {
                      return a == "--rbds" || a.rfind("--call", 0) == 0;
                    }) != all.end();
  std::string help =
      "Station fields (default: the window's initial values):\n"
      "  --settings FILE       start from a station settings file (tolvex.dat) as the\n"
      "                        program loads it at start-up; the options below change\n"
      "                        its values\n"
      "  --ps TEXT             Program Service name, at most 8 characters (FM RADIO)\n"
      "  --pi HHHH             Program Identification, four hex digits (FFFF)\n"
      "  --call LETTERS        PI from United States call letters by the RBDS method\n"
      "                        (KGNU gives 213E); implies --rbds. With --pi too, that\n"
      "                        PI is sent and checked against the call letters\n"
      "  --pty N               Program Type 0 to 31 (0), named below\n"
      "  --tp 0|1              Traffic Program (1)\n"
      "  --ta 0|1              Traffic Announcement (0)\n"
      "  --ms 0|1              0 Speech, 1 Music (1)\n"
      "  --di XXXX             DI flags DPTY, Comp., Art. H., Stereo as 0/1 (0000)\n"
      "  --af MHZ              alternative frequency 87.6 to 107.9 with at most one\n"
      "                        decimal, '.' or ',' as the decimal mark; repeat for up\n"
      "                        to seven, in the window's order\n"
      "  --rbds                North America (RBDS): the program types take the RBDS\n"
      "                        names (the codes sent are the same)\n"
      "A PS character, PI or AF that a send would drop or change is refused. Values\n"
      "from a settings file are taken as the window takes them: a PI that is not\n"
      "four hex digits becomes FFFF, and invalid AF entries are dropped. The mistakes\n"
      "stations make most (a default PI or PS, TA without TP, an AF twice) are\n"
      "warned of on standard error; the values are sent all the same.\n";
  help += rbds ? "Program types (RBDS names):\n" : "Program types (with --rbds, the RBDS names):\n";
  const rds::PtyNames names = rbds ? rds::PtyNames::kRbds : rds::PtyNames::kRds;
  for (int row = 0; row < rds::kPtyCount / 4; ++row) {
    std::string line;
    for (int column = 0; column < 4; ++column) {
      const int code = row + column * rds::kPtyCount / 4;
      char cell[32];
      std::snprintf(cell, sizeof cell, "%s%2d %-16s", column ? " " : "", code,
                    std::string(rds::PtyName(code, names)).c_str());
      line += cell;
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    help += line + '\n';
  }
  return help;
}

}  // namespace cmdline

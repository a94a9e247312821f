#include "rds/station_checks.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "rds/af_encoding.h"
#include "rds/rbds.h"

namespace rds {
namespace {

constexpr std::string_view kDefaultPs = "FM RADIO";

std::string Hex4(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04X", value);
  return text;
}

std::string AfMhz(int code) {
  char text[8];
  std::snprintf(text, sizeof text, "%d.%d", (875 + code) / 10, (875 + code) % 10);
  return text;
}

std::string CallUpper(const std::string& call) {
  std::string out = call.substr(0, call.find('-'));
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

}  // namespace

bool IsDefaultPi(std::uint16_t pi) {
  return pi == 0xFFFF || (pi & 0xF000) == 0;
}

std::vector<StationWarning> CheckStation(const StationSettings& settings,
                                         const std::optional<std::string>& call_letters) {
  std::vector<StationWarning> out;
  const std::string pi_text = CheckPI(settings.pi);
  std::string typed = settings.pi;
  for (char& c : typed) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  if (typed != pi_text) out.push_back({WarningKind::kPiCorrected, settings.pi, pi_text});
  const auto pi = static_cast<std::uint16_t>(std::stoul(pi_text, nullptr, 16));
  if (IsDefaultPi(pi)) out.push_back({WarningKind::kPiDefault, pi_text, {}});
  if (EncodeFlag(settings.ta) == 1 && EncodeFlag(settings.tp) == 0) {
    out.push_back({WarningKind::kTaWithoutTp, {}, {}});
  }
  const AfEncoding af = EncodeAF(settings.af);
  for (int i = 0; i < af.count; ++i) {
    const auto first = af.codes.begin();
    if (std::find(first, first + i, af.codes[i]) == first + i &&
        std::find(first + i + 1, first + af.count, af.codes[i]) != first + af.count) {
      out.push_back({WarningKind::kAfTwice, AfMhz(af.codes[i]), {}});
    }
  }
  if (CapturePS(settings.ps) == CapturePS(std::string(kDefaultPs))) {
    out.push_back({WarningKind::kPsDefault, std::string(kDefaultPs), {}});
  }
  if (call_letters) {
    try {
      if (PiFromCallLetters(*call_letters) != pi) {
        out.push_back({WarningKind::kPiNotCall, pi_text, CallUpper(*call_letters)});
      }
    } catch (const std::invalid_argument&) {
      // Call letters without a PI are refused where they are given.
    }
  }
  return out;
}

std::string WarningText(const StationWarning& w) {
  switch (w.kind) {
    case WarningKind::kPiCorrected:
      return "PI '" + w.value + "' is not four hexadecimal digits: it is sent as " + w.detail;
    case WarningKind::kPiDefault:
      return "PI " + w.value +
             " is the factory default or unset: receivers may confuse this station with others";
    case WarningKind::kTaWithoutTp:
      return "TA is 1 while TP is 0: receivers handle a traffic announcement without traffic "
             "program unpredictably";
    case WarningKind::kAfTwice:
      return "AF " + w.value + " is listed twice: the second entry wastes a slot";
    case WarningKind::kPsDefault:
      return "PS is still the program's default '" + w.value + "'";
    case WarningKind::kPiNotCall:
      return "PI " + w.value + " does not match the call letters " + w.detail + " (" +
             Hex4(PiFromCallLetters(w.detail)) + ")";
  }
  return {};
}

bool WarningConcerns(const StationWarning& warning, std::string_view field) {
  switch (warning.kind) {
    case WarningKind::kPiCorrected:
    case WarningKind::kPiDefault:
    case WarningKind::kPiNotCall:
      return field == "PI";
    case WarningKind::kTaWithoutTp:
      return field == "TA" || field == "TP";
    case WarningKind::kAfTwice:
      return field == "AF";
    case WarningKind::kPsDefault:
      return field == "PS";
  }
  return false;
}

}  // namespace rds

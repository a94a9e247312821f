#include "rds/rbds.h"

#include <array>
#include <stdexcept>

namespace rds {
namespace {

// The window's names of the European list, eight characters at most, as receivers show them.
constexpr std::array<std::string_view, kPtyCount> kRdsPtyNames = {
    "(None)",  "News",    "Affairs",  "Info",   "Sport",    "Educate",  "Drama",    "Culture",
    "Science", "Varied",  "Pop M",    "Rock M", "Easy M",   "Light M",  "Classics", "Other M",
    "Weather", "Finance", "Children", "Social", "Religion", "Phone In", "Travel",   "Leisure",
    "Jazz",    "Country", "Nation",   "Oldies", "Folk M",   "Document", "TEST",     "Alarm!"};

// North America's names (the RBDS standard's program type table, the 16-character forms US
// radios show); code 0 keeps the program's "(None)".
// clang-format off
constexpr std::array<std::string_view, kPtyCount> kRbdsPtyNames = {
    "(None)",          "News",            "Information",     "Sports",
    "Talk",            "Rock",            "Classic Rock",    "Adult Hits",
    "Soft Rock",       "Top 40",          "Country",         "Oldies",
    "Soft",            "Nostalgia",       "Jazz",            "Classical",
    "Rhythm and Blues", "Soft R&B",       "Language",        "Religious Music",
    "Religious Talk",  "Personality",     "Public",          "College",
    "Spanish Talk",    "Spanish Music",   "Hip Hop",         "Unassigned",
    "Unassigned",      "Weather",         "Emergency Test",  "Emergency",
};
// clang-format on
static_assert(kRdsPtyNames[10] == "Pop M" && kRbdsPtyNames[10] == "Country");

// Four-letter calls: K calls from 4096, W calls after them, each letter after the first a
// digit in base 26 (the RBDS standard's annex on PI codes from call letters).
constexpr int kFirstK = 4096;
constexpr int kFirstW = kFirstK + 26 * 26 * 26;            // 21672
constexpr int kFirstThreeLetter = kFirstW + 26 * 26 * 26;  // 39248, 0x9950
static_assert(kFirstThreeLetter == 0x9950);

// The three-letter calls, from 0x9950 on, as the same annex's table lists them; "" is a code
// the table leaves without a call.
constexpr std::array<std::string_view, 106> kThreeLetterCalls = {
    "KEX", "KFH", "KFI", "KGA", "KGO", "KGU", "KGW", "KGY",  // 9950
    "KID", "KIT", "KJR", "KLO", "KLZ", "KMA", "KMJ", "KNX",  // 9958
    "KOA", "",    "",    "",    "KQV", "KSL", "KUJ", "KVI",  // 9960
    "KWG", "",    "",    "KYW", "",    "WBZ", "WDZ", "WEW",  // 9968
    "",    "WGL", "WGN", "WGR", "",    "WHA", "WHB", "WHK",  // 9970
    "WHO", "",    "WIP", "WJR", "WKY", "WLS", "WLW", "",     // 9978
    "",    "WOC", "",    "WOL", "WOR", "",    "",    "",     // 9980
    "WWJ", "WWL", "",    "",    "",    "",    "",    "",     // 9988
    "KDB", "KGB", "KOY", "KPQ", "KSD", "KUT", "KXL", "KXO",  // 9990
    "",    "WBT", "WGH", "WGY", "WHP", "WIL", "WMC", "WMT",  // 9998
    "WOI", "WOW", "WRR", "WSB", "WSM", "KBW", "KCY", "KDF",  // 99A0
    "",    "",    "KHQ", "KOB", "",    "",    "",    "",     // 99A8
    "",    "",    "",    "WIS", "WJW", "WJZ", "",    "",     // 99B0
    "",    "WRC"};                                           // 99B8
static_assert(kThreeLetterCalls[0] == "KEX" && kThreeLetterCalls[0x99B9 - 0x9950] == "WRC");

// Codes with a zero area nibble (x0yz) or program reference 00 (xy00) go on the air in the
// A range instead, as Axyz and AFxy. A code with both (x000) takes the AF form, which leaves
// neither zero behind.
std::uint16_t MapSpecially(int code) {
  if ((code & 0x00FF) == 0) return static_cast<std::uint16_t>(0xAF00 | (code >> 8));
  if ((code & 0x0F00) == 0) {
    return static_cast<std::uint16_t>(0xA000 | ((code & 0xF000) >> 4) | (code & 0x00FF));
  }
  return static_cast<std::uint16_t>(code);
}

std::string Quoted(std::string_view text) {
  return "'" + std::string(text) + "'";
}

}  // namespace

std::string_view PtyName(int code, PtyNames names) {
  if (code < 0 || code >= kPtyCount) return {};
  return (names == PtyNames::kRbds ? kRbdsPtyNames : kRdsPtyNames)[static_cast<std::size_t>(code)];
}

std::uint16_t PiFromCallLetters(std::string_view call) {
  const std::string_view given = call;
  if (const auto dash = call.find('-'); dash != std::string_view::npos) call = call.substr(0, dash);
  std::string letters;
  for (const char c : call) {
    const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    if (upper < 'A' || upper > 'Z') {
      throw std::invalid_argument("call letters are three or four letters, got " + Quoted(given));
    }
    letters += upper;
  }
  if (letters.size() != 3 && letters.size() != 4) {
    throw std::invalid_argument("call letters are three or four letters, got " + Quoted(given));
  }
  if (letters[0] != 'K' && letters[0] != 'W') {
    throw std::invalid_argument(
        "only United States call letters, beginning with K or W, have a "
        "PI by the RBDS method, got " +
        Quoted(given));
  }
  if (letters.size() == 3) {
    for (std::size_t i = 0; i < kThreeLetterCalls.size(); ++i) {
      if (kThreeLetterCalls[i] == letters) return static_cast<std::uint16_t>(kFirstThreeLetter + i);
    }
    throw std::invalid_argument(Quoted(letters) +
                                " is not among the three-letter calls the RBDS method lists");
  }
  const int code = (letters[0] == 'K' ? kFirstK : kFirstW) + 676 * (letters[1] - 'A') +
                   26 * (letters[2] - 'A') + (letters[3] - 'A');
  return MapSpecially(code);
}

std::optional<std::string> CallLettersFromPi(std::uint16_t pi) {
  int code = pi;
  if ((pi & 0xFF00) == 0xAF00) {
    code = (pi & 0x00FF) << 8;
  } else if ((pi & 0xF000) == 0xA000) {
    code = ((pi & 0x0F00) << 4) | (pi & 0x00FF);
  }
  if (code >= kFirstThreeLetter &&
      code < kFirstThreeLetter + static_cast<int>(kThreeLetterCalls.size())) {
    const std::string_view call =
        kThreeLetterCalls[static_cast<std::size_t>(code - kFirstThreeLetter)];
    if (call.empty()) return std::nullopt;
    return std::string(call);
  }
  if (code < kFirstK || code >= kFirstThreeLetter) return std::nullopt;
  // A code the method maps elsewhere is never the one sent, nor is the A form of one it keeps.
  if (MapSpecially(code) != pi) return std::nullopt;
  const bool k = code < kFirstW;
  int rest = code - (k ? kFirstK : kFirstW);
  std::string call = k ? "K" : "W";
  call += static_cast<char>('A' + rest / 676);
  rest %= 676;
  call += static_cast<char>('A' + rest / 26);
  call += static_cast<char>('A' + rest % 26);
  return call;
}

}  // namespace rds

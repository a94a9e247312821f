#include "rds/rds_charset.h"

#include <array>
#include <utility>

#include "rds/cp1252.h"

namespace rds {
namespace {

// Codes 0x80 to 0xFF of the RDS basic character table (IEC 62106, the code table of
// EN 50067 Annex E), one row of 16 per line; 0xFF is unused.
constexpr std::array<char32_t, 128> kHighTable = {
    U'á', U'à', U'é', U'è', U'í', U'ì', U'ó', U'ò', U'ú', U'ù', U'Ñ', U'Ç', U'Ş', U'ß', U'¡', U'Ĳ',
    U'â', U'ä', U'ê', U'ë', U'î', U'ï', U'ô', U'ö', U'û', U'ü', U'ñ', U'ç', U'ş', U'ǧ', U'ı', U'ĳ',
    U'ª', U'α', U'©', U'‰', U'Ǧ', U'ě', U'ň', U'ő', U'π', U'€', U'£', U'$', U'←', U'↑', U'→', U'↓',
    U'º', U'¹', U'²', U'³', U'±', U'İ', U'ń', U'ű', U'µ', U'¿', U'÷', U'°', U'¼', U'½', U'¾', U'§',
    U'Á', U'À', U'É', U'È', U'Í', U'Ì', U'Ó', U'Ò', U'Ú', U'Ù', U'Ř', U'Č', U'Š', U'Ž', U'Đ', U'Ŀ',
    U'Â', U'Ä', U'Ê', U'Ë', U'Î', U'Ï', U'Ô', U'Ö', U'Û', U'Ü', U'ř', U'č', U'š', U'ž', U'đ', U'ŀ',
    U'Ã', U'Å', U'Æ', U'Œ', U'ŷ', U'Ý', U'Õ', U'Ø', U'Þ', U'Ŋ', U'Ŕ', U'Ć', U'Ś', U'Ź', U'Ŧ', U'ð',
    U'ã', U'å', U'æ', U'œ', U'ŵ', U'ý', U'õ', U'ø', U'þ', U'ŋ', U'ŕ', U'ć', U'ś', U'ź', U'ŧ', 0,
};

// Where the table puts other symbols than ASCII in 0x20..0x7E; only reached for
// characters above 0x7F, since ASCII itself goes through unchanged.
constexpr std::array<std::pair<char32_t, std::uint8_t>, 4> kLowSymbols = {{
    {U'¤', 0x24},
    {U'―', 0x5E},
    {U'‖', 0x60},
    {U'¯', 0x7E},
}};

// Windows-1252 characters the table lacks, by the table character that stands for them:
// the same letter without its accent, or a look-alike the table draws the same way.
constexpr std::array<std::pair<char32_t, std::uint8_t>, 4> kFallbacks = {{
    {U'Ÿ', 'Y'},
    {U'ÿ', 'y'},
    {U'ƒ', 'f'},
    {U'Ð', 0xCE},  // Latin capital eth is drawn as the table's capital D with stroke
}};

}  // namespace

std::uint8_t ToRdsCharacter(unsigned char cp1252) {
  if (cp1252 >= 0x20 && cp1252 <= 0x7E) return cp1252;
  const char32_t cp = Cp1252ToUnicode(cp1252);
  for (std::size_t i = 0; i < kHighTable.size(); ++i) {
    if (kHighTable[i] != 0 && kHighTable[i] == cp) return static_cast<std::uint8_t>(0x80 + i);
  }
  for (const auto& [from, to] : kLowSymbols) {
    if (from == cp) return to;
  }
  for (const auto& [from, to] : kFallbacks) {
    if (from == cp) return to;
  }
  return 0x20;
}

std::optional<char32_t> RdsCharacterToUnicode(std::uint8_t code) {
  if (code >= 0x80) {
    const char32_t cp = kHighTable[code - 0x80];
    if (cp == 0) return std::nullopt;
    return cp;
  }
  for (const auto& [from, to] : kLowSymbols) {
    if (to == code) return from;
  }
  if (code >= 0x20 && code < 0x7F) return code;
  return std::nullopt;
}

}  // namespace rds

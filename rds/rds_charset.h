#pragma once

#include <cstdint>
#include <optional>

namespace rds {

// Receivers show the PS name through the RDS basic character table, not through the
// program's 8-bit character set: this maps one Windows-1252 byte to the table code that
// receivers show as the same character.
//  - 0x20 to 0x7E go through unchanged (stations rely on "$", "^", "`" and "~" as they are);
//  - a character the table holds gets its table code (á 0x80, € 0xA9, Å 0xE1, …);
//  - a letter it lacks becomes the same letter without its accent (ÿ gives y);
//  - anything else becomes a space.
std::uint8_t ToRdsCharacter(unsigned char cp1252);

// The character receivers show for a table code 0x20..0xFF; nullopt for a code the table
// leaves unused.
std::optional<char32_t> RdsCharacterToUnicode(std::uint8_t code);

}  // namespace rds

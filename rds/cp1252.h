#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rds {

// The program's 8-bit character set is Windows-1252 on every platform, so that texts and
// files are byte for byte the same as on the Windows PCs these encoders are used with.

// Well-formed UTF-8: shortest forms only, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view text);

// nullopt when the UTF-8 text is malformed or holds a character Windows-1252 lacks.
std::optional<std::string> Utf8ToCp1252(std::string_view utf8);

// Bytes that Windows-1252 leaves undefined map to the C1 control of the same value.
std::string Cp1252ToUtf8(std::string_view bytes);

// Appends one code point below U+10000 as UTF-8.
void AppendUtf8(std::string& out, char32_t code_point);

// Unicode code point of one Windows-1252 byte, or nullopt for a code point it lacks.
char32_t Cp1252ToUnicode(unsigned char byte);
std::optional<unsigned char> UnicodeToCp1252(char32_t code_point);

}  // namespace rds

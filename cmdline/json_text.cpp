#include "cmdline/json_text.h"

#include <cstdio>

namespace cmdline {

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

}  // namespace cmdline

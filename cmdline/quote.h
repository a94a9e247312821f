#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

namespace cmdline {

// A value for an error message: in single quotes, at most kQuotedLength bytes of it (cut at
// a character boundary, "..." marking the cut), control characters, quote and backslash
// escaped. A message thus stays one short line whatever was typed.
inline constexpr std::size_t kQuotedLength = 60;

namespace detail {

inline std::string Quoted(std::string_view value, bool escape_backslash) {
  std::string out = "'";
  std::size_t taken = std::min(value.size(), kQuotedLength);
  // Never cut inside a UTF-8 sequence: back up over continuation bytes.
  while (taken < value.size() && taken > 0 &&
         (static_cast<unsigned char>(value[taken]) & 0xC0) == 0x80) {
    --taken;
  }
  for (std::size_t i = 0; i < taken; ++i) {
    const auto c = static_cast<unsigned char>(value[i]);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if ((c == '\\' && escape_backslash) || c == '\'') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  if (taken < value.size()) out += "...";
  out += '\'';
  return out;
}

}  // namespace detail

inline std::string Quote(std::string_view value) {
  return detail::Quoted(value, true);
}

// A path, as Quote but with backslashes left as typed on Windows, where they separate
// folders: a doubled one would show a path the user never typed.
inline std::string QuotePath(std::string_view path) {
#ifdef _WIN32
  return detail::Quoted(path, false);
#else
  return detail::Quoted(path, true);
#endif
}

}  // namespace cmdline

#pragma once

#include <string>
#include <string_view>

namespace cmdline {

// A JSON string of UTF-8 text, in double quotes: quote, backslash and control characters
// escaped, everything else as it is.
std::string JsonString(std::string_view text);

}  // namespace cmdline

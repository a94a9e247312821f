#pragma once

#include <string>

#include "rds/bits.h"

namespace rds {

// One line per group, blocks as "INFO/CHECK" in upper-case hex: "FFFF/031 0408/1EB ...".
std::string FormatGroups(const EncoderImage& image);

// One line per group, its four information words in upper-case hex: "FFFF 0408 E0CD 464D",
// the form RDS decoders and group analysers take as input.
std::string FormatHex(const EncoderImage& image);

// The 416 cells as one line of '0' and '1'.
std::string FormatBits(const EncoderImage& image);

}  // namespace rds

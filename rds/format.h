#pragma once

#include <string>

#include "rds/bits.h"

namespace rds {

// One line per group, blocks as "INFO/CHECK" in upper-case hex: "FFFF/031 0408/1EB ...".
std::string FormatGroups(const EncoderImage& image);

// The 416 cells as one line of '0' and '1'.
std::string FormatBits(const EncoderImage& image);

}  // namespace rds

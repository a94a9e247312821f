#include "rds/format.h"

#include <cstdio>

#include "rds/group_assembly.h"

namespace rds {

std::string FormatGroups(const EncoderImage& image) {
  std::string out;
  for (const Group& group : SplitImage(image)) {
    for (std::size_t i = 0; i < group.size(); ++i) {
      char block[16];
      std::snprintf(block, sizeof block, "%s%04X/%03X", i == 0 ? "" : " ", group[i].info,
                    group[i].check);
      out += block;
    }
    out += '\n';
  }
  return out;
}

std::string FormatHex(const EncoderImage& image) {
  std::string out;
  for (const Group& group : SplitImage(image)) {
    char line[32];
    std::snprintf(line, sizeof line, "%04X %04X %04X %04X\n", group[0].info, group[1].info,
                  group[2].info, group[3].info);
    out += line;
  }
  return out;
}

std::string FormatBits(const EncoderImage& image) {
  std::string out;
  out.reserve(image.size() + 1);
  for (BitCell cell : image) out += static_cast<char>('0' + cell);
  out += '\n';
  return out;
}

}  // namespace rds

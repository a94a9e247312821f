#include "rds/field_encoding.h"

namespace rds {

bool BitOn(std::int32_t value, int n) {
  std::int32_t rest = value;
  for (int weight = 128; weight > (1 << n); weight >>= 1) {
    if (weight <= rest) rest -= weight;
  }
  rest -= 1 << n;
  return rest >= 0;
}

namespace {

bool IsUpperHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

char AsciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::string CheckPI(std::string_view text) {
  if (text.size() != kPiLength) return "FFFF";
  std::string box(text);
  for (char& c : box) c = AsciiUpper(c);
  // The box is read again for every character: after a reset the rest are "F" and pass.
  for (std::size_t i = 0; i < kPiLength; ++i) {
    if (!IsUpperHexDigit(box[i])) box = "FFFF";
  }
  return box;
}

Bits<16> EncodePI(std::string_view text) {
  Bits<16> bits{};
  for (std::size_t i = 0; i < kPiLength && i < text.size(); ++i) {
    int value = static_cast<unsigned char>(text[i]) - 48;
    if (static_cast<unsigned char>(text[i]) > '9') value -= 7;
    for (int n = 3; n >= 0; --n) bits[4 * i + 3 - n] = BitOn(value, n) ? 1 : 0;
  }
  return bits;
}

Bits<5> EncodePTY(int index) {
  Bits<5> bits{};
  for (int n = 4; n >= 0; --n) bits[4 - n] = BitOn(index, n) ? 1 : 0;
  return bits;
}

BitCell EncodeFlag(int index) {
  return index == 1 ? 1 : 0;
}

Bits<4> EncodeDI(const std::array<bool, 4>& ticks) {
  Bits<4> bits{};
  for (std::size_t s = 0; s < 4; ++s) bits[s] = ticks[3 - s] ? 1 : 0;
  return bits;
}

}  // namespace rds

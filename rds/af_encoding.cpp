#include "rds/af_encoding.h"

#include <charconv>
#include <cmath>

#include "rds/field_encoding.h"

namespace rds {
namespace {

// AF method A codes (IEC 62106): 1..204 are 87.6..107.9 MHz, 205 is the filler and
// 224 + N announces N frequencies.
constexpr int kFillerCode = 205;
constexpr int kCountCodeBase = 224;
constexpr std::array<BitCell, 8> kFillerBits = {1, 1, 0, 0, 1, 1, 0, 1};
static_assert(kFillerCode == 0b11001101);

constexpr float kInvalid = -875.0F;
constexpr float kEmptied = -1.0F;

// Validates one entry and returns its AF code (1..204), or -875 when it is invalid.
// The arithmetic is deliberately that of a 32-bit float with 0.01 added before the
// truncation, so that 87.6 (held as 87.5999985) still gives 876.
float ValidateEntry(const std::string& entry) {
  std::string text = entry;
  if (text.size() < 2 || text.size() > kAfLength) text = "00000";

  // Any other character makes the entry invalid: read as "0", a mistyped "9S.5" would send
  // another station's 90.5 MHz.
  int separators = 0;
  for (char& c : text) {
    if (IsAfDecimalMark(c)) {
      c = '.';
      ++separators;
    } else if (c < '0' || c > '9') {
      return kInvalid;
    }
  }
  if (separators > 1) text = "00000";
  if (separators == 1 && text.find('.') != text.size() - 2) text = "00000";

  float f = 0.0F;
  std::from_chars(text.data(), text.data() + text.size(), f);

  const long double scaled = (static_cast<long double>(f) + 0.01L) * 10.0L;
  float t = static_cast<float>(std::trunc(scaled));
  if (!(t >= 876.0F && t <= 1079.01F)) return kInvalid;
  return t - 875.0F;
}

void PutCode(Bits<64>& bits, std::size_t first_cell, int code) {
  for (int n = 7; n >= 0; --n) bits[first_cell + 7 - n] = BitOn(code, n) ? 1 : 0;
}

void PutFiller(Bits<64>& bits, std::size_t first_cell) {
  for (std::size_t i = 0; i < 8; ++i) bits[first_cell + i] = kFillerBits[i];
}

}  // namespace

int AfEntryCode(const std::string& entry) {
  const float value = ValidateEntry(entry);
  return value >= 1.0F ? static_cast<int>(value) : 0;
}

AfEncoding EncodeAF(const AfTexts& boxes) {
  AfEncoding out;
  out.boxes = boxes;

  std::array<float, kAfCount> values{};
  for (std::size_t i = 0; i < kAfCount; ++i) {
    values[i] = ValidateEntry(boxes[i]);
    if (values[i] >= 1.0F) ++out.count;
  }

  // Seven passes of moving each entry up over an invalid or emptied place; the boxes get
  // the texts as typed, not the cleaned copies.
  for (int pass = 0; pass < 7; ++pass) {
    for (std::size_t k = 0; k + 1 < kAfCount; ++k) {
      if (values[k] < 1.0F) {
        out.boxes[k] = out.boxes[k + 1];
        out.boxes[k + 1].clear();
        values[k] = values[k + 1];
        values[k + 1] = kEmptied;
      }
    }
    if (values[kAfCount - 1] < 1.0F) {
      out.boxes[kAfCount - 1].clear();
      values[kAfCount - 1] = kEmptied;
    }
  }

  for (std::size_t i = 0; i < kAfCount; ++i) {
    out.codes[i] = static_cast<int>(i) < out.count ? static_cast<int>(values[i]) : 0;
  }

  PutCode(out.bits, 0, kCountCodeBase + out.count);
  // Place p (1-based) of the AF list lands in cells 8p to 8p + 7.
  for (int place = 1; place <= static_cast<int>(kAfCount); ++place) {
    const std::size_t cell = 8 * static_cast<std::size_t>(place);
    if (place <= out.count) {
      PutCode(out.bits, cell, static_cast<int>(values[place - 1]));
    } else {
      PutFiller(out.bits, cell);
    }
  }
  return out;
}

}  // namespace rds

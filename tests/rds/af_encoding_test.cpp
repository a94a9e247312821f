#include "rds/af_encoding.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace rds {
namespace {

struct Case {
  const char* entry;
  int code;  // 0 for invalid
};

// Single entries as typed into AF1, with '.' as the decimal mark.
constexpr Case kCases[] = {
    {"87.6", 1}, {"98.5", 110}, {"107.9", 204}, {"98", 105},  {"100", 125},   {"088.0", 5},
    {"87.5", 0}, {"108", 0},    {"9", 0},       {"98.55", 0}, {"1.2.3", 0},   {".5", 0},
    {"9x.5", 0}, {" 98.5", 0},  {"98.5 ", 0},   {"", 0},      {"107.8", 203}, {"99.9", 124},
    {"9S.5", 0}, {"1O1.2", 0},  {"98-5", 0},    {"+98.5", 0}, {"98.5\n", 0},
};

std::string WithSeparator(std::string text, char separator) {
  std::replace(text.begin(), text.end(), '.', separator);
  return text;
}

int Byte(const Bits<64>& bits, std::size_t index) {
  int value = 0;
  for (std::size_t i = 0; i < 8; ++i) value = value * 2 + bits[8 * index + i];
  return value;
}

std::vector<int> Bytes(const Bits<64>& bits) {
  std::vector<int> out;
  for (std::size_t i = 0; i < 8; ++i) out.push_back(Byte(bits, i));
  return out;
}

TEST(EncodeAF, EdgeCaseTableWithPointAndCommaMarks) {
  for (char separator : {'.', ','}) {
    for (const Case& c : kCases) {
      AfTexts boxes{};
      boxes[0] = WithSeparator(c.entry, separator);
      const AfEncoding af = EncodeAF(boxes);
      SCOPED_TRACE(boxes[0] + " with '" + separator + "'");
      if (c.code == 0) {
        EXPECT_EQ(af.count, 0);
        EXPECT_EQ(af.boxes[0], "");
        EXPECT_EQ(Bytes(af.bits), (std::vector<int>{224, 205, 205, 205, 205, 205, 205, 205}));
      } else {
        EXPECT_EQ(af.count, 1);
        EXPECT_EQ(af.codes[0], c.code);
        EXPECT_EQ(af.boxes[0], boxes[0]);  // as typed, not the cleaned copy
        EXPECT_EQ(Byte(af.bits, 0), 225);
        EXPECT_EQ(Byte(af.bits, 1), c.code);
      }
    }
  }
}

TEST(EncodeAF, EitherMarkInOneListAndNeverTwoMarksInOneEntry) {
  const AfEncoding af = EncodeAF({"98.5", "101,2", "1.2,3", "98,55", "", "", ""});
  EXPECT_EQ(af.count, 2);
  EXPECT_EQ(af.boxes, (AfTexts{"98.5", "101,2", "", "", "", "", ""}));
  EXPECT_EQ(Bytes(af.bits), (std::vector<int>{226, 110, 137, 205, 205, 205, 205, 205}));
}

TEST(EncodeAF, EveryFrequencyOfTheBandGetsItsCode) {
  // 32-bit float arithmetic must not lose a single step of the band.
  for (int code = 1; code <= 204; ++code) {
    const int tenths = 875 + code;
    AfTexts boxes{};
    boxes[0] = std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
    const AfEncoding af = EncodeAF(boxes);
    ASSERT_EQ(af.count, 1) << boxes[0];
    EXPECT_EQ(af.codes[0], code) << boxes[0];
  }
}

TEST(EncodeAF, EmptyBoxesGiveCountZeroAndFillers) {
  const AfEncoding af = EncodeAF(AfTexts{});
  EXPECT_EQ(af.count, 0);
  EXPECT_EQ(Bytes(af.bits), (std::vector<int>{224, 205, 205, 205, 205, 205, 205, 205}));
  EXPECT_EQ(af.boxes, AfTexts{});
}

TEST(EncodeAF, ThreeEntriesFillTheFirstTwoPairs) {
  const AfEncoding af = EncodeAF({"87.6", "98.5", "107.9", "", "", "", ""});
  EXPECT_EQ(af.count, 3);
  EXPECT_EQ(Bytes(af.bits), (std::vector<int>{0xE3, 0x01, 0x6E, 0xCC, 205, 205, 205, 205}));
}

TEST(EncodeAF, CompactsValidEntriesToTheFrontKeepingTheirTexts) {
  const AfEncoding af = EncodeAF({"abc", "", "98.5", "120", "101.1", "", ""});
  EXPECT_EQ(af.count, 2);
  EXPECT_EQ(af.boxes, (AfTexts{"98.5", "101.1", "", "", "", "", ""}));
  EXPECT_EQ(Bytes(af.bits), (std::vector<int>{226, 110, 136, 205, 205, 205, 205, 205}));
}

TEST(EncodeAF, SevenValidEntriesLeaveNoFillerAndDuplicatesAreKept) {
  const AfTexts boxes = {"87.6", "88.0", "98.5", "98.5", "100", "105.5", "107.9"};
  const AfEncoding af = EncodeAF(boxes);
  EXPECT_EQ(af.count, 7);
  EXPECT_EQ(af.boxes, boxes);
  EXPECT_EQ(Bytes(af.bits), (std::vector<int>{231, 1, 5, 110, 110, 125, 180, 204}));
}

TEST(EncodeAF, SevenInvalidEntriesEmptyEveryBoxTheLastOneIncluded) {
  // The last box's text needs all seven passes to move up to the first box and out.
  const AfEncoding af = EncodeAF({"x", "87.5", "108", "9", "98.55", "1.2.3", "200"});
  EXPECT_EQ(af.count, 0);
  EXPECT_EQ(af.boxes, AfTexts{});
  EXPECT_EQ(Bytes(af.bits), (std::vector<int>{224, 205, 205, 205, 205, 205, 205, 205}));
}

TEST(EncodeAF, ValidEntriesAfterGapsKeepTheirOrder) {
  const AfEncoding af = EncodeAF({"", "x", "107.9", "", "", "", "87.6"});
  EXPECT_EQ(af.count, 2);
  EXPECT_EQ(af.boxes, (AfTexts{"107.9", "87.6", "", "", "", "", ""}));
  EXPECT_EQ(af.codes[0], 204);
  EXPECT_EQ(af.codes[1], 1);
}

}  // namespace
}  // namespace rds

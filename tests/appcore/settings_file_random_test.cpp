#include <gtest/gtest.h>

#include <random>

#include "appcore/settings_file.h"
#include "tests/appcore/settings_values_dump.h"

namespace app {
namespace {

constexpr std::uint32_t kSeed = 20261207;
constexpr int kInputs = 20000;

// Bytes that steer the loader's decisions turn up far more often than by chance.
char InterestingByte(std::mt19937& rng) {
  static constexpr std::string_view kBytes("\r\n\r\n\r\n0123\0\x80\xFF x", 16);
  return std::uniform_int_distribution<int>(0, 3)(rng) == 0
             ? static_cast<char>(std::uniform_int_distribution<int>(0, 255)(rng))
             : kBytes[std::uniform_int_distribution<std::size_t>(0, kBytes.size() - 1)(rng)];
}

std::string RandomBytes(std::mt19937& rng) {
  std::string bytes(std::uniform_int_distribution<std::size_t>(0, 400)(rng), '\0');
  for (char& c : bytes) c = InterestingByte(rng);
  return bytes;
}

// A valid file with a few bytes changed, inserted, removed or cut off.
std::string MutatedFile(std::mt19937& rng) {
  SettingsValues v;
  v.station.ps = "P" + std::to_string(rng() % 1000);
  v.system.port_index = static_cast<int>(rng() % 4);
  v.last_sent.fill("L=" + std::to_string(rng()));
  std::string text = FormatSettingsText(v);
  const int edits = std::uniform_int_distribution<int>(1, 4)(rng);
  for (int i = 0; i < edits && !text.empty(); ++i) {
    const std::size_t at = std::uniform_int_distribution<std::size_t>(0, text.size() - 1)(rng);
    switch (rng() % 4) {
      case 0:
        text[at] = InterestingByte(rng);
        break;
      case 1:
        text.insert(at, 1, InterestingByte(rng));
        break;
      case 2:
        text.erase(at, 1);
        break;
      default:
        text.resize(at);
        break;
    }
  }
  return text;
}

TEST(SettingsFileRandom, AnyBytesLoadSafelyAndWhatLoadsSavesBackTheSame) {
  std::mt19937 rng(kSeed);
  int used = 0;
  for (int i = 0; i < kInputs; ++i) {
    const std::string input = i % 2 == 0 ? RandomBytes(rng) : MutatedFile(rng);
    SettingsValues v;
    if (ApplySettingsText(input, v)) ++used;
    EXPECT_LE(v.station.ps.size(), 8U);
    EXPECT_LE(v.station.pi.size(), 4U);
    EXPECT_TRUE(v.station.pty >= 0 && v.station.pty < 32);
    EXPECT_TRUE(v.system.port_index >= 0 && v.system.port_index <= 3);
    const std::string problem = CheckLoadRoundTrip(input);
    ASSERT_EQ(problem, "") << "input " << i << " of seed " << kSeed;
  }
  // The mutated files must reach the line-by-line rules often enough to mean something.
  EXPECT_GT(used, kInputs / 10);
}

}  // namespace
}  // namespace app

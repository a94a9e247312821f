#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <sstream>

#include "rds/group_assembly.h"
#include "rds/station.h"
#include "receiver/air_check.h"
#include "receiver/air_guard.h"
#include "receiver/block_sync.h"
#include "receiver/mpx_decoder.h"
#include "receiver/mpx_input.h"
#include "tests/receiver/mpx_synth.h"

namespace receiver {
namespace {

using testing::MpxOptions;
using testing::SynthesizeMpx;

rds::StationSettings Station() {
  rds::StationSettings s;
  s.ps = "ON AIR 7";
  s.pi = "D3C2";
  s.pty = 10;
  s.tp = 1;
  s.ta = 0;
  s.ms = 1;
  s.di = {true, false, true, false};
  s.af = {"87.6", "98.5", "107.9", "", "", "", ""};
  return s;
}

std::vector<std::uint8_t> Bits(const rds::StationSettings& s) {
  const auto image = rds::Encode(s).image;
  return {image.begin(), image.end()};
}

AirCheck Decode(std::span<const std::int16_t> mpx, double rate_hz, DecoderStats* stats = nullptr) {
  AirCheck check(Station());
  MpxDecoder decoder(rate_hz, [&](const Group& g) { check.Take(g); });
  decoder.Feed(mpx);
  if (stats) *stats = decoder.stats();
  return check;
}

// The whole chain on multiplex with programme, stereo and noise, at the rates SDR tools
// write, with the transmitter's clock off either way and the subcarrier in either phase.
TEST(MpxDecoder, ConfirmsEveryFieldAtEachRateClockAndPhase) {
  struct Case {
    double rate_hz, ppm, phase_deg;
    bool pilot;
  };
  for (const Case c : {Case{171000, 100, 0, true}, Case{192000, -100, 90, true},
                       Case{228000, 100, 0, true}, Case{171000, -100, 90, false}}) {
    MpxOptions options;
    options.rate_hz = c.rate_hz;
    options.clock_ppm = c.ppm;
    options.rds_phase_deg = c.phase_deg;
    options.pilot = c.pilot;
    options.noise_rms = 0.04;
    DecoderStats stats;
    const AirCheck check = Decode(SynthesizeMpx(Bits(Station()), 3.0, options), c.rate_hz, &stats);
    SCOPED_TRACE(c.rate_hz);
    EXPECT_EQ(DifferenceNames(check.Differences()), "");
    EXPECT_EQ(stats.pilot, c.pilot);
    EXPECT_EQ(FieldText(check.view().fields(), Field::kAf), "87.6 98.5 107.9");
  }
}

TEST(MpxDecoder, NoiseAloneGivesNoGroupAndRatesOutsideTheRangeAreRefused) {
  MpxOptions options;
  options.rds_level = 0;
  options.noise_rms = 0.1;
  EXPECT_EQ(Decode(SynthesizeMpx(Bits(Station()), 3.0, options), 171000).Final(), Verdict::kNoRds);
  for (const double rate : {127999.0, 250001.0, 48000.0}) {
    EXPECT_THROW(MpxDecoder(rate, [](const Group&) {}), std::runtime_error) << rate;
  }
}

// The image's groups as blocks: 26 bits each, in order.
std::vector<bool> Stream(const rds::StationSettings& s, int cycles) {
  std::vector<bool> bits;
  const auto image = rds::Encode(s).image;
  for (int c = 0; c < cycles; ++c) bits.insert(bits.end(), image.begin(), image.end());
  return bits;
}

// Sync after any slip; 1- and 2-bit bursts mended; two corrections in a group kept only on bits
// the demodulator was unsure of; sync lost on ten bad blocks in a row, taken on three good.
TEST(BlockSync, FindsBlocksAfterAnySlipAndMendsOnlyWhatNoiseCannotFake) {
  struct Case {
    const char* what;
    std::size_t skip;                 // bits left out at the start (a slip)
    std::vector<std::size_t> blocks;  // blocks of the stream with errors
    std::uint32_t error;              // their error pattern, bit 0 last on air
    float margin = 0.1f;              // the flipped bits' margin (the other bits': 1)
    int weaker = 0;                   // bits of the block less sure than them (margin 0.05)
    std::size_t lost = 0;             // blocks not handed over valid
  };
  constexpr std::size_t kCycles = 6;
  const std::vector<Case> cases = {
      {"clean", 0, {}, 0},
      {"slip 1", 1, {}, 0, 0.1f, 0, 1},
      {"slip 25", 25, {}, 0, 0.1f, 0, 1},
      {"slip 103", 103, {}, 0, 0.1f, 0, 4},
      {"1-bit error in PI", 0, {40}, 1U << 20},
      {"2-bit burst in a checkword", 0, {41}, 0b11U << 3},
      {"3-bit burst", 0, {41}, 0b101U << 3, 0.1f, 0, 1},
      {"two corrections", 0, {40, 41}, 0b11U << 9},
      {"two corrections of bits it was sure of", 0, {40, 41}, 0b11U << 9, 2, 0, 4},
      {"two corrections, 7 bits less sure", 0, {40, 41}, 0b11U << 9, 0.1f, 7},
      {"two corrections, 8 bits less sure", 0, {40, 41}, 0b11U << 9, 0.1f, 8, 4},
      {"one correction of bits it was sure of", 0, {41}, 0b11U << 9, 2},
      {"9 bad blocks", 0, {40, 41, 42, 43, 44, 45, 46, 47, 48}, 0b111U << 5, 0.1f, 0, 9},
      {"10 bad blocks", 0, {40, 41, 42, 43, 44, 45, 46, 47, 48, 49}, 0b111U << 5, 0.1f, 0, 12},
  };
  const auto sent = rds::SplitImage(rds::Encode(Station()).image);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<bool> bits = Stream(Station(), kCycles);
    std::vector<float> margins(bits.size(), 1.0f);
    for (const std::size_t block : c.blocks) {
      for (std::size_t i = 0, at = 26 * block; i < 26; ++i, ++at) {
        const bool flip = (c.error >> (25 - i)) & 1U;
        bits[at] = bits[at] != flip;
        margins[at] = flip ? c.margin : static_cast<int>(i) < c.weaker ? 0.05f : 1.0f;
      }
    }
    std::size_t valid = 0;
    BlockSync sync([&](const Group& g) {
      for (int b = 0; b < 4; ++b) {
        valid += g.ok[b] ? 1 : 0;  // and as sent, mended or not:
        EXPECT_TRUE(!g.ok[b] || !g.ok[1] || g.words[b] == sent[g.words[1] & 3][b].info) << b;
      }
    });
    for (std::size_t i = c.skip; i < bits.size(); ++i) sync.PushBit(bits[i], margins[i]);
    EXPECT_EQ(valid, 16 * kCycles - c.lost);
  }
}

Group GroupOf(const rds::StationSettings& s, int segment, std::array<bool, 4> ok = {1, 1, 1, 1}) {
  const auto groups = rds::SplitImage(rds::Encode(s).image);
  Group g;
  for (int b = 0; b < 4; ++b) {
    g.words[b] = groups[segment][b].info;
    g.ok[b] = ok[b];
  }
  return g;
}

// Fields are taken only with evidence: PI, PTY, TP, TA and MS from two groups, each DI flag
// from two of its segments, PS from two unbroken cycles alike, AF from two complete lists.
// Until then they are missing (a weak signal), and with nothing at all there is no RDS.
TEST(StationView, TakesFieldsOnlyWithEvidence) {
  struct Case {
    const char* groups;  // segments received; C or D after one: that block lost
    const char* missing;
    Verdict verdict;
  };
  const Case cases[] = {
      {"0", "PI,PS,PTY,TP,TA,MS,DI,AF", Verdict::kNoRds},
      {"0 1 2 3", "PS,DI,AF", Verdict::kIncomplete},
      {"0 1 2 3 0 1 2 3", "", Verdict::kConfirmed},
      {"0 1D 2 3 0 1 2 3", "PS", Verdict::kIncomplete},
      {"0 1D 2 3 0 1 2 3 0 1 2 3", "", Verdict::kConfirmed},
      {"1 2 3 0 2 3", "PS,DI,AF", Verdict::kIncomplete},
      {"0C 1 2 3 0 1 2 3", "AF", Verdict::kIncomplete},
      {"0 1C 2 3 0 1 2 3", "AF", Verdict::kIncomplete},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.groups);
    AirCheck check(Station());
    std::istringstream groups(c.groups);
    for (std::string g; groups >> g;) {
      std::array<bool, 4> ok = {1, 1, 1, 1};
      if (g.size() > 1) ok[g[1] == 'C' ? 2 : 3] = false;
      check.Take(GroupOf(Station(), g[0] - '0', ok));
    }
    EXPECT_EQ(DifferenceNames(check.Differences()), c.missing);
    EXPECT_EQ(check.Final(), c.verdict);
    const std::string di = FieldText(check.view().fields(), Field::kDi);
    EXPECT_TRUE(c.verdict != Verdict::kConfirmed || di == "Stereo, Comp.") << di;
  }
}

// Each field compared on its own: a station that differs in one field names that one.
TEST(AirCheck, NamesEachFieldThatDiffers) {
  struct Case {
    const char* names;
    void (*change)(rds::StationSettings&);
  };
  const Case cases[] = {
      {"PI", [](rds::StationSettings& s) { s.pi = "D3C3"; }},
      {"PS", [](rds::StationSettings& s) { s.ps = "ON AIR 8"; }},
      {"PTY", [](rds::StationSettings& s) { s.pty = 11; }},
      {"TP", [](rds::StationSettings& s) { s.tp = 0; }},
      {"TA", [](rds::StationSettings& s) { s.ta = 1; }},
      {"MS", [](rds::StationSettings& s) { s.ms = 0; }},
      {"DI", [](rds::StationSettings& s) { s.di[3] = true; }},
      {"AF", [](rds::StationSettings& s) { s.af[3] = "99.1"; }},
      {"PS,AF",
       [](rds::StationSettings& s) {
         s.ps = "X";
         s.af = {};
       }},
  };
  for (const Case& c : cases) {
    auto on_air = Station();
    c.change(on_air);
    AirCheck check(Station());
    // A value received once is no evidence of a difference.
    check.Take(GroupOf(on_air, 0));
    EXPECT_EQ(check.Final(), Verdict::kNoRds) << c.names;
    for (int i = 1; i < 8; ++i) check.Take(GroupOf(on_air, i % 4));
    EXPECT_EQ(DifferenceNames(check.Differences()), c.names);
    EXPECT_EQ(check.Final(), Verdict::kMismatch);
  }
  // The same AFs in another order are the same set.
  auto reordered = Station();
  reordered.af = {"107.9", "87.6", "98.5", "", "", "", ""};
  AirCheck check(Station());
  for (int i = 0; i < 8; ++i) check.Take(GroupOf(reordered, i % 4));
  EXPECT_EQ(DifferenceNames(check.Differences()), "");
}

TEST(AirGuard, ConfirmsThenWatchesForChangesNoSendMade) {
  using namespace std::chrono_literals;
  AirGuard guard(20s, 5s);
  const auto t0 = AirGuard::Clock::time_point{};
  auto other = Station();
  other.ps = "FM RADIO";
  guard.Sent(Station(), t0);
  EXPECT_EQ(guard.Tick(t0 + 19s), AirEvent::kNone);
  AirEvent last = AirEvent::kNone;
  for (int i = 0; i < 8; ++i) last = guard.Take(GroupOf(Station(), i % 4), t0 + 1s);
  EXPECT_EQ(last, AirEvent::kConfirmed);
  // The encoder back on its own data: a PS received once is no evidence; twice alike, the
  // change is reported once it has held for the grace time.
  for (int i = 0; i < 4; ++i) guard.Take(GroupOf(other, i), t0 + 30s);
  EXPECT_EQ(guard.Tick(t0 + 40s), AirEvent::kNone);
  for (int i = 0; i < 4; ++i) last = guard.Take(GroupOf(other, i), t0 + 41s);
  EXPECT_EQ(last, AirEvent::kNone);
  EXPECT_EQ(guard.Tick(t0 + 46s), AirEvent::kChangedOnAir);
  EXPECT_EQ(DifferenceNames(guard.differences()), "PS");
  EXPECT_EQ(guard.Tick(t0 + 48s), AirEvent::kNone);  // once only
  // A send that never shows: a mismatch when its time is up, or no RDS at all, or too little.
  guard.Sent(Station(), t0 + 50s);
  for (int i = 0; i < 8; ++i) guard.Take(GroupOf(other, i % 4), t0 + 51s);
  EXPECT_EQ(guard.Tick(t0 + 69s), AirEvent::kNone);
  EXPECT_EQ(guard.Tick(t0 + 70s), AirEvent::kMismatch);
  // The air mended without a send: confirmed once the send shows after all.
  for (int i = 0; i < 8; ++i) last = guard.Take(GroupOf(Station(), i % 4), t0 + 80s);
  EXPECT_EQ(last, AirEvent::kConfirmed);
  AirGuard silent(20s, 5s);
  silent.Sent(Station(), t0);
  EXPECT_EQ(silent.Tick(t0 + 20s), AirEvent::kNoRds);
  // Too weak a signal for PS, DI and AF: no mismatch either.
  silent.Sent(Station(), t0 + 30s);
  for (int i = 0; i < 4; ++i) silent.Take(GroupOf(Station(), i), t0 + 31s);
  EXPECT_EQ(silent.Tick(t0 + 50s), AirEvent::kIncomplete);
  EXPECT_EQ(DifferenceNames(silent.differences()), "PS,DI,AF");
  // Watching what went out before: the same on air is nothing to tell, no time runs out, and
  // a change from it is one that no send made.
  silent.Watch(Station(), t0 + 60s);
  for (int i = 0; i < 8; ++i) last = silent.Take(GroupOf(Station(), i % 4), t0 + 61s);
  EXPECT_EQ(last, AirEvent::kNone);
  for (int i = 0; i < 8; ++i) silent.Take(GroupOf(other, i % 4), t0 + 62s);
  EXPECT_EQ(silent.Tick(t0 + 90s), AirEvent::kChangedOnAir);
}

class BytesSource final : public ByteSource {
 public:
  explicit BytesSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
  std::size_t Read(std::span<std::uint8_t> out) override {
    const std::size_t n = std::min(out.size(), bytes_.size() - at_);
    std::memcpy(out.data(), bytes_.data() + at_, n);
    at_ += n;
    return n;
  }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

std::vector<std::uint8_t> Wav(unsigned format, unsigned channels, unsigned rate, unsigned bits,
                              std::vector<std::uint8_t> data) {
  std::vector<std::uint8_t> out;
  const auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  const auto tag = [&](const char* t) { out.insert(out.end(), t, t + 4); };
  tag("RIFF");
  put(36 + static_cast<std::uint32_t>(data.size()), 4);
  tag("WAVE");
  tag("fmt ");
  put(16, 4);
  put(format, 2);
  put(channels, 2);
  put(rate, 4);
  put(rate * channels * bits / 8, 4);
  put(channels * bits / 8, 2);
  put(bits, 2);
  tag("data");
  put(static_cast<std::uint32_t>(data.size()), 4);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

// What an input yields, or the error that names what is wrong with it.
TEST(MpxStream, ReadsWavAndRawAndRefusesWhatIsNeither) {
  const std::vector<std::uint8_t> two16 = {0x00, 0x40, 0x00, 0xC0};  // 0.5, -0.5
  std::vector<std::uint8_t> float_half(4);
  const float half = 0.5f;
  std::memcpy(float_half.data(), &half, 4);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::optional<double> rate;
    double rate_read;
    std::vector<float> samples;
    const char* error;
  };
  std::vector<std::uint8_t> text(600, 'a');
  const std::vector<Case> cases = {
      {"raw", two16, std::nullopt, 171000, {0.5f, -0.5f}, nullptr},
      {"raw at a rate", two16, 228000, 228000, {0.5f, -0.5f}, nullptr},
      {"WAV 16-bit", Wav(1, 1, 192000, 16, two16), std::nullopt, 192000, {0.5f, -0.5f}, nullptr},
      {"WAV stereo: first channel",
       Wav(1, 2, 192000, 16, two16),
       std::nullopt,
       192000,
       {0.5f},
       nullptr},
      {"WAV float", Wav(3, 1, 171000, 32, float_half), std::nullopt, 171000, {0.5f}, nullptr},
      {"raw rate too low", two16, 96000, 0, {}, "sample rate 96000 Hz is outside"},
      {"WAV rate too high",
       Wav(1, 1, 256000, 16, two16),
       std::nullopt,
       0,
       {},
       "sample rate 256000"},
      {"WAV rate unlike --rate", Wav(1, 1, 192000, 16, two16), 171000, 0, {}, "rate is 192000 Hz"},
      {"WAV 8-bit", Wav(1, 1, 192000, 8, two16), std::nullopt, 0, {}, "8-bit samples"},
      {"RIFF but not WAV",
       {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'A', 'V', 'I', ' '},
       std::nullopt,
       0,
       {},
       "not WAV"},
      {"WAV cut short",
       {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm'},
       std::nullopt,
       0,
       {},
       "ends inside its header"},
      {"text", text, std::nullopt, 0, {}, "is text"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BytesSource source(c.bytes);
    try {
      MpxStream stream(source, c.rate);
      EXPECT_EQ(c.error, nullptr);
      EXPECT_EQ(stream.rate_hz(), c.rate_read);
      std::vector<float> samples(16);
      samples.resize(stream.Read(samples));
      EXPECT_EQ(samples, c.samples);
    } catch (const std::runtime_error& e) {
      ASSERT_NE(c.error, nullptr) << e.what();
      EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace receiver

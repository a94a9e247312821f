#include <gtest/gtest.h>

#include <cstring>
#include <random>

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

TEST(BlockSync, FindsBlocksAfterAnySlipAndMendsShortBursts) {
  struct Case {
    const char* what;
    std::size_t skip;          // bits left out at the start (a slip)
    std::size_t burst_at;      // first bit of an error burst, in the 3rd cycle
    std::size_t burst_length;  // 0: none
    bool mended;
  };
  for (const Case c :
       {Case{"clean", 0, 0, 0, true}, Case{"slip 1", 1, 0, 0, true},
        Case{"slip 25", 25, 0, 0, true}, Case{"slip 103", 103, 0, 0, true},
        Case{"1-bit error in info", 7, 3, 1, true}, Case{"2-bit burst in check", 7, 20, 2, true},
        Case{"5-bit burst", 7, 60, 5, true}, Case{"7-bit burst", 7, 60, 7, false}}) {
    SCOPED_TRACE(c.what);
    std::vector<bool> bits = Stream(Station(), 5);
    const std::size_t at = 2 * 416 + c.burst_at;
    bits[at] = !bits[at];
    if (c.burst_length > 1) bits[at + c.burst_length - 1] = !bits[at + c.burst_length - 1];
    if (c.burst_length == 0) bits[at] = !bits[at];
    AirCheck check(Station());
    std::vector<Group> groups;
    BlockSync sync([&](const Group& g) {
      groups.push_back(g);
      check.Take(g);
    });
    for (std::size_t i = c.skip; i < bits.size(); ++i) sync.PushBit(bits[i]);
    EXPECT_TRUE(sync.synced());
    EXPECT_EQ(DifferenceNames(check.Differences()), "");
    // Every group from the first whole one on is complete, but the one with the burst when
    // the burst is beyond repair.
    std::size_t broken = 0;
    for (std::size_t g = 1; g < groups.size(); ++g) {
      broken += std::count(groups[g].ok.begin(), groups[g].ok.end(), false);
    }
    EXPECT_EQ(broken, c.mended ? 0U : 1U);
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

// Fields are reported only when received whole: PS from one unbroken cycle of segments,
// twice alike before it counts as confirmed; AF once the announced number has arrived.
TEST(StationView, ReportsFieldsOnlyWhenReceivedWhole) {
  const auto station = Station();
  struct Case {
    const char* what;
    std::vector<std::pair<int, std::array<bool, 4>>> groups;  // segment, blocks received
    std::string ps, af;
    bool confirmed;
  };
  constexpr std::array<bool, 4> kAll = {1, 1, 1, 1};
  constexpr std::array<bool, 4> kNoD = {1, 1, 1, 0};
  constexpr std::array<bool, 4> kNoC = {1, 1, 0, 1};
  const std::vector<Case> cases = {
      {"one cycle",
       {{0, kAll}, {1, kAll}, {2, kAll}, {3, kAll}},
       "ON AIR 7",
       "87.6 98.5 107.9",
       false},
      {"two cycles",
       {{0, kAll}, {1, kAll}, {2, kAll}, {3, kAll}, {0, kAll}, {1, kAll}, {2, kAll}, {3, kAll}},
       "ON AIR 7",
       "87.6 98.5 107.9",
       true},
      {"segment lost",
       {{0, kAll}, {1, kNoD}, {2, kAll}, {3, kAll}, {0, kAll}, {1, kAll}},
       "",
       "87.6 98.5 107.9",
       false},
      {"out of order",
       {{1, kAll}, {2, kAll}, {3, kAll}, {0, kAll}, {2, kAll}, {3, kAll}},
       "",
       "",
       false},
      {"AF start lost", {{0, kNoC}, {1, kAll}, {2, kAll}, {3, kAll}}, "ON AIR 7", "", false},
      {"AF rest lost", {{0, kAll}, {1, kNoC}, {2, kAll}, {3, kAll}}, "ON AIR 7", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    AirCheck check(station);
    for (const auto& [segment, ok] : c.groups) check.Take(GroupOf(station, segment, ok));
    EXPECT_EQ(FieldText(check.view().fields(), Field::kPs), c.ps);
    EXPECT_EQ(FieldText(check.view().fields(), Field::kAf), c.af);
    EXPECT_EQ(check.Confirmed(), c.confirmed);
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
    for (int cycle = 0; cycle < 2; ++cycle) {
      for (int segment = 0; segment < 4; ++segment) check.Take(GroupOf(on_air, segment));
    }
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
  // The encoder back on its own data: reported once the change has held for the grace time.
  for (int i = 0; i < 8; ++i) last = guard.Take(GroupOf(other, i % 4), t0 + 30s);
  EXPECT_EQ(last, AirEvent::kNone);
  EXPECT_EQ(guard.Tick(t0 + 36s), AirEvent::kChangedOnAir);
  EXPECT_EQ(DifferenceNames(guard.differences()), "PS");
  EXPECT_EQ(guard.Tick(t0 + 40s), AirEvent::kNone);  // once only
  // A send that never shows: a mismatch when its time is up, or no RDS at all.
  guard.Sent(Station(), t0 + 50s);
  for (int i = 0; i < 8; ++i) guard.Take(GroupOf(other, i % 4), t0 + 51s);
  EXPECT_EQ(guard.Tick(t0 + 69s), AirEvent::kNone);
  EXPECT_EQ(guard.Tick(t0 + 70s), AirEvent::kMismatch);
  AirGuard silent(20s, 5s);
  silent.Sent(Station(), t0);
  EXPECT_EQ(silent.Tick(t0 + 20s), AirEvent::kNoRds);
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

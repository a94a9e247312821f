#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numbers>

#include "rds/station.h"
#include "receiver/air_watch.h"
#include "receiver/level_limits.h"
#include "tests/receiver/mpx_synth.h"

namespace receiver {
namespace {

using testing::MpxOptions;
using testing::SynthesizeMpx;

class Samples final : public ByteSource {
 public:
  explicit Samples(std::span<const std::int16_t> mpx)
      : bytes_(reinterpret_cast<const std::uint8_t*>(mpx.data()), mpx.size() * 2) {}
  std::size_t Read(std::span<std::uint8_t> out) override {
    const std::size_t n = std::min(out.size(), bytes_.size() - at_);
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), n, out.begin());
    at_ += n;
    return n;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t at_ = 0;
};

std::vector<std::uint8_t> Bits() {
  rds::StationSettings s;
  s.ps = "LEVELS";
  const auto image = rds::Encode(s).image;
  return {image.begin(), image.end()};
}

// ±5% or ±0.1 kHz, whichever is larger.
void ExpectKhz(double measured, double expected, const char* what) {
  EXPECT_NEAR(measured, expected, std::max(0.05 * expected, 0.1)) << what;
}

double DbrOfSine(double peak_khz) {
  return 20 * std::log10(peak_khz / 19);
}

// Known levels through the monitor's reading of a stream (as rtl_fm writes it unless a scale
// is given); the levels at the end of 3 s of signal.
TEST(LevelMeter, ReadsKnownLevelsAtEachRate) {
  struct Case {
    const char* what;
    double rate;
    double pilot_khz, rds_khz, tone_khz, noise_rms;
    LevelScale scale;
    // Expected as the stream holds them; scaled by the reading's scale. Below 0: not checked.
    double peak_khz, over_percent, power_dbr;
    bool decodes;
  };
  // RDS adds 0.003 dB to the power of the tone and the pilot.
  const double kPeak = 60 + 6.75 + 3.4;
  const double kPower = DbrOfSine(std::hypot(60, 6.75));
  const double kOverSine = 100 * 2 / std::numbers::pi * std::acos(75.0 / 80);
  const std::vector<Case> cases = {
      {"station", 171000, 6.75, 3.4, 60, 0, {}, kPeak, 0, kPower, true},
      {"station", 192000, 6.75, 3.4, 60, 0, {}, kPeak, 0, kPower, true},
      {"station", 250000, 6.75, 3.4, 60, 0, {}, kPeak, 0, kPower, true},
      {"full scale 100 kHz", 192000, 6.75, 3.4, 60, 0, {100, {}}, kPeak, 0, kPower, true},
      {"scale from the pilot", 250000, 6.75, 3.4, 60, 0, {{}, 9.0}, kPeak, -1, kPower, true},
      {"scale from no pilot", 171000, 0, 3.4, 60, 0, {{}, 9.0}, -1, -1, -1, true},
      {"0 dBr sine, nothing to decode", 171000, 0, 0, 19, 0, {}, 19, 0, 0, false},
      {"sine over 75 kHz", 250000, 0, 0, 80, 0, {}, 80, kOverSine, DbrOfSine(80), false},
      {"sine just under 75 kHz", 192000, 0, 0, 74.8, 0, {}, 74.8, 0, DbrOfSine(74.8), false},
      // Gaussian noise of 17.1 kHz RMS: 0.1% of |x| above 3.29 times that.
      {"noise only",
       171000,
       0,
       0,
       0,
       0.1,
       {},
       3.29 * 17.1,
       0,
       DbrOfSine(17.1 * std::sqrt(2)),
       false},
  };
  for (const Case& c : cases) {
    const double rate = c.rate;
    SCOPED_TRACE(std::string(c.what) + " at " + std::to_string(rate));
    const auto share = [&](double khz) { return khz * 1000 / rate; };
    const double factor = c.scale.pilot_khz        ? *c.scale.pilot_khz / c.pilot_khz
                          : c.scale.full_scale_khz ? *c.scale.full_scale_khz * 1000 / rate
                                                   : 1;
    MpxOptions o;
    o.rate_hz = rate;
    o.audio = o.stereo = false;
    o.pilot = c.pilot_khz > 0;
    o.pilot_level = share(c.pilot_khz);
    o.rds_level = share(c.rds_khz) / testing::RdsStreamPeak();
    o.tone_level = share(c.tone_khz);
    o.noise_rms = c.noise_rms;
    o.discriminator = !c.scale.full_scale_khz && !c.scale.pilot_khz;
    const auto mpx = SynthesizeMpx(Bits(), 2, o);
    Samples source(mpx);
    std::optional<Levels> got;
    const LevelWatch watch{{c.scale},
                           [](const Levels&) { ADD_FAILURE() << "a report"; },
                           [&](const Levels& l) { got = l; }};
    DecodeStream(
        source, rate, [](const Group&, auto) { return true; }, nullptr, &watch);
    ASSERT_TRUE(got);
    EXPECT_NEAR(got->at.count(), 2, 1e-3);
    EXPECT_NEAR(got->span.count(), 2, 1e-3);
    EXPECT_EQ(got->scaled, c.pilot_khz > 0 || !c.scale.pilot_khz);
    if (got->scaled && c.noise_rms == 0) {
      ExpectKhz(got->pilot_khz, c.pilot_khz * factor, "pilot");
      ExpectKhz(got->rds_khz, c.rds_khz * factor, "RDS");
    }
    if (c.peak_khz >= 0) ExpectKhz(got->peak_khz, c.peak_khz * factor, "peak");
    if (c.over_percent >= 0) {
      EXPECT_NEAR(got->over_percent, c.over_percent, 1);
    }
    if (c.power_dbr >= 0) {
      EXPECT_NEAR(got->mpx_power_dbr, c.power_dbr + DbrOfSine(19 * factor), 0.3);
    }
    EXPECT_EQ(got->block_errors_percent < 10, c.decodes) << got->block_errors_percent;
    EXPECT_EQ(got->block_errors_percent == 100, !c.decodes);
    // Levels within the limits, and nothing to decode, are no fault.
    if (factor == 1) {
      EXPECT_TRUE(LevelFaults(*got, LevelLimits{}).empty());
    }
  }
}

// 30 s of a 0 dBr sine, then 40 s at twice the deviation, both 5 kHz off (a receiver's tuning
// offset); blocks decode for the first 50 s.
TEST(LevelMeter, ReportsEvery10sWithPowerOver60sAndBlockErrorsOver20s) {
  constexpr double kRate = 128000;  // full scale 128 kHz
  constexpr double kBlocksPerSecond = 1187.5 / 26;
  std::vector<Levels> reports;
  LevelMeter meter(kRate, {}, [&](const Levels& l) { reports.push_back(l); });
  std::vector<float> chunk(12800);  // 0.1 s
  for (int c = 0; c < 700; ++c) {
    const double khz = c < 300 ? 19 : 38;
    for (std::size_t i = 0; i < chunk.size(); ++i) {
      chunk[i] =
          static_cast<float>((5 + khz * std::sin(2 * std::numbers::pi * 1000 * i / kRate)) / 128);
    }
    meter.CountBlocks(static_cast<std::uint64_t>(std::min(c, 500) * 0.1 * kBlocksPerSecond));
    meter.Feed(chunk);
  }
  ASSERT_EQ(reports.size(), 7U);
  struct Row {
    std::size_t report;
    double peak_khz, power_dbr, power_s, block_errors_percent;
  };
  for (const Row& r :
       {Row{2, 19, 0, 30, 0}, Row{3, 38, 10 * std::log10(1.75), 40, 0},
        Row{5, 38, 10 * std::log10(2.5), 60, 50}, Row{6, 38, 10 * std::log10(3), 60, 100}}) {
    const Levels& l = reports[r.report];
    SCOPED_TRACE(l.at.count());
    EXPECT_NEAR(l.at.count(), 10.0 * (r.report + 1), 1e-6);
    EXPECT_NEAR(l.span.count(), 10, 1e-6);
    ExpectKhz(l.peak_khz, r.peak_khz, "peak");
    EXPECT_NEAR(l.mpx_power_dbr, r.power_dbr, 0.05);
    EXPECT_NEAR(l.mpx_power_span.count(), r.power_s, 1e-6);
    EXPECT_NEAR(l.block_errors_percent, r.block_errors_percent, 1);
    EXPECT_NEAR(l.block_errors_span.count(), 20, 1e-6);
  }
}

// Each limit at both sides; what is not judged (no scale, a signal too poor to decode, MPX
// power over less than 60 s or without a limit).
TEST(LevelFaults, NamesEachLevelOutsideItsLimits) {
  struct Case {
    const char* what;
    std::function<void(Levels&, LevelLimits&)> change;
    const char* conditions;
    const char* unjudged = "";
  };
  const char* kAll = "rds-level pilot-level overdeviation mpx-power";
  const std::vector<Case> cases = {
      {"within", [](Levels&, LevelLimits&) {}, ""},
      {"RDS low", [](Levels& l, LevelLimits&) { l.rds_khz = 1.99; }, "rds-level"},
      {"RDS at min", [](Levels& l, LevelLimits&) { l.rds_khz = 2.0; }, ""},
      {"RDS at max", [](Levels& l, LevelLimits&) { l.rds_khz = 7.5; }, ""},
      {"RDS high", [](Levels& l, LevelLimits&) { l.rds_khz = 7.51; }, "rds-level"},
      {"RDS min set", [](Levels& l, LevelLimits& m) { l.rds_khz = 1.5, m.rds_min_khz = 1.4; }, ""},
      {"pilot low", [](Levels& l, LevelLimits&) { l.pilot_khz = 5.99; }, "pilot-level"},
      {"pilot at min", [](Levels& l, LevelLimits&) { l.pilot_khz = 6.0; }, ""},
      {"pilot at max", [](Levels& l, LevelLimits&) { l.pilot_khz = 7.5; }, ""},
      {"pilot high", [](Levels& l, LevelLimits&) { l.pilot_khz = 7.51; }, "pilot-level"},
      {"pilot max set", [](Levels& l, LevelLimits& m) { l.pilot_khz = 8, m.pilot_max_khz = 9; },
       ""},
      {"0.1% over", [](Levels& l, LevelLimits&) { l.over_percent = 0.1; }, ""},
      {"more over", [](Levels& l, LevelLimits&) { l.over_percent = 0.11; }, "overdeviation"},
      {"power at max",
       [](Levels& l, LevelLimits& m) { l.mpx_power_dbr = 0, m.mpx_power_max_dbr = 0; }, ""},
      {"power high",
       [](Levels& l, LevelLimits& m) { l.mpx_power_dbr = 0.1, m.mpx_power_max_dbr = 0; },
       "mpx-power"},
      {"power high, 59 s",
       [](Levels& l, LevelLimits& m) {
         l.mpx_power_dbr = 0.1, m.mpx_power_max_dbr = 0,
         l.mpx_power_span = std::chrono::seconds(59);
       },
       "", "mpx-power"},
      {"power without limit", [](Levels& l, LevelLimits&) { l.mpx_power_dbr = 9; }, ""},
      {"all, 50% block errors",
       [](Levels& l, LevelLimits&) {
         l.rds_khz = 1, l.pilot_khz = 9, l.over_percent = 1, l.block_errors_percent = 50;
       },
       "rds-level pilot-level overdeviation"},
      {"poor signal", [](Levels& l, LevelLimits&) { l.rds_khz = 1, l.block_errors_percent = 50.1; },
       "", kAll},
      {"no scale", [](Levels& l, LevelLimits&) { l.rds_khz = 1, l.scaled = false; }, "", kAll},
  };
  for (const Case& c : cases) {
    Levels levels;
    levels.scaled = true;
    levels.pilot_khz = 6.75;
    levels.rds_khz = 3.4;
    levels.mpx_power_dbr = -1;
    levels.mpx_power_span = std::chrono::seconds(60);
    LevelLimits limits;
    c.change(levels, limits);
    std::string names, unjudged;
    for (const LevelFault& f : LevelFaults(levels, limits)) {
      names += (names.empty() ? "" : " ") + std::string(LevelConditionName(f.condition));
    }
    for (const LevelJudgement& j : JudgeLevels(levels, limits)) {
      const std::string name(LevelConditionName(j.condition));
      if (!j.judged) unjudged += (unjudged.empty() ? "" : " ") + name;
    }
    EXPECT_EQ(names, c.conditions) << c.what;
    EXPECT_EQ(unjudged, c.unjudged) << c.what;
  }
}

}  // namespace
}  // namespace receiver

#include "tests/receiver/mpx_synth.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>

#include "rds/station.h"

namespace receiver::testing {
namespace {

// One bin of a DFT at any frequency, scaled so that a sine of peak A gives |A|.
std::complex<double> Dft(std::span<const std::int16_t> x, double frequency_hz, double rate_hz) {
  const auto step = std::polar(1.0, -2 * std::numbers::pi * frequency_hz / rate_hz);
  std::complex<double> rotor = 1;
  std::complex<double> sum;
  for (const std::int16_t sample : x) {
    sum += static_cast<double>(sample) * rotor;
    rotor *= step;
  }
  return sum * (2.0 / static_cast<double>(x.size()));
}

// Energy between two frequencies, on a grid as fine as the span resolves.
double BandEnergy(std::span<const std::int16_t> x, double low_hz, double high_hz, double rate_hz) {
  const double step_hz = rate_hz / static_cast<double>(x.size());
  double energy = 0;
  for (double f = low_hz; f < high_hz; f += step_hz) energy += std::norm(Dft(x, f, rate_hz));
  return energy;
}

std::vector<std::uint8_t> StationBits() {
  const auto image = rds::Encode(rds::StationSettings{}).image;
  return {image.begin(), image.end()};
}

TEST(SynthesizeMpx, LengthAndPilotFollowRateAndTransmitterClock) {
  struct Case {
    double rate_hz;
    double clock_ppm;
  };
  for (const Case c : {Case{171000, 0}, Case{192000, 100}, Case{228000, -100}}) {
    SCOPED_TRACE(::testing::Message() << c.rate_hz << " Hz, " << c.clock_ppm << " ppm");
    MpxOptions options;
    options.rate_hz = c.rate_hz;
    options.clock_ppm = c.clock_ppm;
    options.noise_rms = 0.05;
    const auto mpx = SynthesizeMpx(StationBits(), 0.4, options);
    ASSERT_EQ(mpx.size(), static_cast<std::size_t>(std::lround(0.4 * c.rate_hz)));

    // The pilot's frequency from its phase advance between two 0.1 s spans 0.2 s apart
    // (unambiguous within +-2.5 Hz of 19 kHz), and its level.
    const std::span<const std::int16_t> all(mpx);
    const auto span = static_cast<std::size_t>(0.1 * c.rate_hz);
    const auto gap = static_cast<std::size_t>(0.2 * c.rate_hz);
    const auto early = Dft(all.subspan(0, span), 19000, c.rate_hz);
    const auto late = Dft(all.subspan(gap, span), 19000, c.rate_hz);
    const double offset_hz =
        std::arg(late / early) / (2 * std::numbers::pi * static_cast<double>(gap) / c.rate_hz);
    EXPECT_NEAR(offset_hz, 19000 * c.clock_ppm * 1e-6, 0.05);
    const double pilot = std::abs(Dft(all.subspan(0, span), 19000 + offset_hz, c.rate_hz));
    EXPECT_NEAR(pilot / 32767, 0.09, 0.005);
    EXPECT_GT(pilot, 10 * std::abs(Dft(all.subspan(0, span), 18500, c.rate_hz)));
  }
}

TEST(SynthesizeMpx, RdsOnlyWithin2400HzOf57kHz) {
  MpxOptions options;
  options.rds_phase_deg = 90;
  const auto mpx = SynthesizeMpx(StationBits(), 0.1, options);
  const double band = BandEnergy(mpx, 57000 - 2400, 57000 + 2400, options.rate_hz);
  const double wide = BandEnergy(mpx, 48000, 66000, options.rate_hz);
  EXPECT_GT(band, 0.98 * wide);
  // A subcarrier of 4.5% peak holds a good share of that in energy.
  const double rms = std::sqrt(band / 2) / 32767;
  EXPECT_GT(rms, 0.01);
  EXPECT_LT(rms, 0.045);

  options.rds_level = 0;
  const auto silent = SynthesizeMpx(StationBits(), 0.1, options);
  EXPECT_LT(BandEnergy(silent, 57000 - 2400, 57000 + 2400, options.rate_hz), 1e-4 * band);
}

}  // namespace
}  // namespace receiver::testing

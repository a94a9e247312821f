#include "bench/fm_receiver_levels.h"

#include <complex>
// liquid.h takes std::complex<float> as its complex type when <complex> comes first.
#include <liquid/liquid.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <vector>

#include "rds/station.h"
#include "receiver/level_meter.h"
#include "tests/receiver/mpx_synth.h"

namespace bench {
namespace {

using Complex = std::complex<float>;

// The multiplex: the synthesizer's programme (mono and stereo) with its peaks at about
// 65 kHz, the pilot at 6.75 kHz and RDS at 3.4 kHz: close to full modulation.
constexpr double kProgrammeKhz = 65;
constexpr double kPilotKhz = 6.75;
constexpr double kRdsKhz = 3.4;
// rtl_fm captures at the first multiple of its output rate above 1 MHz.
constexpr double kCaptureAboveHz = 1000000;
constexpr std::array kRatesHz{171000.0, 192000.0, 228000.0, 250000.0};

// Without a full scale: as the monitor reads a discriminator's output.
receiver::Levels Measure(const std::vector<float>& mpx, double rate_hz,
                         std::optional<double> full_scale_khz) {
  receiver::LevelMeter meter(rate_hz, {{full_scale_khz, {}}, 75}, nullptr);
  meter.Feed(mpx);
  return meter.Now();
}

void PrintRow(const char* what, const receiver::Levels& l) {
  std::printf("| %s | %.2f | %.2f | %.1f | %.3f%% | %+.2f |\n", what, l.pilot_khz, l.rds_khz,
              l.peak_khz, l.over_percent, l.mpx_power_dbr);
}

}  // namespace

void PrintLevelsThroughReceiver(double seconds) {
  rds::StationSettings station;
  station.ps = "BENCH FM";
  const auto image = rds::Encode(station).image;
  const std::vector<std::uint8_t> bits(image.begin(), image.end());

  std::printf(
      "\nLevels through an FM receiver as rtl_fm is one, %.0f s each: the multiplex itself, then "
      "after its decimation to the output rate (boxcar as rtl_fm's own, or flat to "
      "half the output rate)\n\n",
      seconds);
  std::printf(
      "| signal | pilot (kHz) | RDS (kHz) | peak (kHz) | above 75 kHz | MPX power (dBr) |\n");
  std::printf("|---|---:|---:|---:|---:|---:|\n");
  for (const double rate_hz : kRatesHz) {
    const auto decimation = static_cast<unsigned>(kCaptureAboveHz / rate_hz) + 1;
    const double capture_hz = rate_hz * decimation;
    // The programme's peak sets the scale of the synthesizer's samples.
    receiver::testing::MpxOptions options;
    options.rate_hz = capture_hz;
    options.pilot = false;
    options.rds_level = 0;
    const auto programme = receiver::testing::SynthesizeMpx(bits, 1, options);
    const auto loudest = std::max_element(programme.begin(), programme.end(),
                                          [](auto a, auto b) { return std::abs(a) < std::abs(b); });
    const double full_scale_khz = kProgrammeKhz * 32768 / std::abs(*loudest);
    options.pilot = true;
    options.pilot_level = kPilotKhz / full_scale_khz;
    options.rds_level = kRdsKhz / full_scale_khz / receiver::testing::RdsStreamPeak();
    const auto samples = receiver::testing::SynthesizeMpx(bits, seconds, options);
    std::vector<float> mpx(samples.size());
    std::transform(samples.begin(), samples.end(), mpx.begin(),
                   [](std::int16_t s) { return s / 32768.f; });
    if (rate_hz == kRatesHz.front())
      PrintRow("multiplex", Measure(mpx, capture_hz, full_scale_khz));

    // FM at the capture rate, then the receiver.
    std::vector<Complex> carrier(mpx.size());
    freqmod modulator = freqmod_create(static_cast<float>(full_scale_khz * 1000 / capture_hz));
    freqmod_modulate_block(modulator, mpx.data(), static_cast<unsigned>(mpx.size()),
                           carrier.data());
    freqmod_destroy(modulator);
    const std::vector<float> boxcar(decimation, 1.f / static_cast<float>(decimation));
    for (const bool flat : {false, true}) {
      firdecim_crcf decimator =
          flat ? firdecim_crcf_create_kaiser(decimation, 12, 60)
                : firdecim_crcf_create(decimation, const_cast<float*>(boxcar.data()), decimation);
      if (flat) firdecim_crcf_set_scale(decimator, 1.f / static_cast<float>(decimation));
      std::vector<Complex> narrow(carrier.size() / decimation);
      firdecim_crcf_execute_block(decimator, carrier.data(), static_cast<unsigned>(narrow.size()),
                                  narrow.data());
      firdecim_crcf_destroy(decimator);
      // The discriminator's output, as rtl_fm writes it: half of full scale is pi.
      freqdem discriminator = freqdem_create(1);
      std::vector<float> out(narrow.size());
      for (std::size_t i = 0; i < narrow.size(); ++i) {
        freqdem_demodulate(discriminator, narrow[i], &out[i]);
      }
      freqdem_destroy(discriminator);
      char what[64];
      std::snprintf(what, sizeof what, "%.0f Hz, %s", rate_hz, flat ? "flat" : "boxcar");
      PrintRow(what, Measure(out, rate_hz, std::nullopt));
    }
    std::fflush(stdout);
  }
}

}  // namespace bench

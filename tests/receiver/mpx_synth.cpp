#include "tests/receiver/mpx_synth.h"

#include <complex>
// liquid.h takes std::complex<float> as its complex type when <complex> comes first.
#include <liquid/liquid.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>

namespace receiver::testing {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kPilotHz = 19000;
constexpr double kBitRateHz = 57000.0 / 48;  // 1187.5 bit/s
constexpr double kToneHz = 1000;

// Programme tones: frequency and peak share of full scale. The mono sum with the sweep stays
// near 40% of full scale, the difference signal near 20%; all well inside 15 kHz.
struct Tone {
  double frequency_hz;
  double level;
};
constexpr std::array kMonoTones{Tone{400, 0.10}, Tone{1000, 0.08}, Tone{6300, 0.05}};
constexpr std::array kStereoTones{Tone{700, 0.10}, Tone{3150, 0.08}};
constexpr double kSweepLevel = 0.12;
constexpr double kSweepLowHz = 50;
constexpr double kSweepHighHz = 15000;
constexpr double kSweepPeriodS = 7.3;

// The biphase symbol after the data-shaping filter, in units of one bit period (td = 1),
// tabulated over [-kSpanBits, kSpanBits + 1) so that each sample sums a few table lookups.
constexpr int kSpanBits = 4;
constexpr int kTablePerBit = 1024;

// Impulse response of the shaping filter, whose spectrum is cos(pi f td / 4) up to 2 / td
// and zero above: the inverse transform in closed form, 8 cos(4 pi t) / (pi (1 - 64 t^2)),
// with its limit 2 where numerator and denominator both vanish (t = +-1/8).
double ShapingImpulse(double t) {
  const double d = 1 - 64 * t * t;
  if (std::abs(d) < 1e-9) return 2.0;
  return 8 * std::cos(4 * kPi * t) / (kPi * d);
}

class SymbolTable {
 public:
  SymbolTable() : values_((2 * kSpanBits + 1) * kTablePerBit + 1) {
    double peak = 0;
    for (std::size_t k = 0; k < values_.size(); ++k) {
      const double t = -kSpanBits + static_cast<double>(k) / kTablePerBit;
      // +d(t) - d(t - td/2), each impulse's response truncated to +-kSpanBits with a Hann
      // window so the truncation adds no ripple of its own.
      const auto windowed = [](double u) {
        if (std::abs(u) >= kSpanBits) return 0.0;
        return ShapingImpulse(u) * 0.5 * (1 + std::cos(kPi * u / kSpanBits));
      };
      values_[k] = windowed(t) - windowed(t - 0.5);
      peak = std::max(peak, std::abs(values_[k]));
    }
    for (double& v : values_) v /= peak;
    // Where the symbols of the bits around a point all add up, as they nearly do in any
    // long stream of data.
    for (std::size_t k = 0; k < kTablePerBit; ++k) {
      double sum = 0;
      for (std::size_t at = k; at < values_.size(); at += kTablePerBit) {
        sum += std::abs(values_[at]);
      }
      stream_peak_ = std::max(stream_peak_, sum);
    }
  }

  // The symbol at t bit periods after its bit's start; 0 outside the table.
  double StreamPeak() const { return stream_peak_; }

  double At(double t) const {
    const double x = (t + kSpanBits) * kTablePerBit;
    if (x < 0 || x >= static_cast<double>(values_.size() - 1)) return 0;
    const auto k = static_cast<std::size_t>(x);
    const double frac = x - static_cast<double>(k);
    return values_[k] + frac * (values_[k + 1] - values_[k]);
  }

 private:
  std::vector<double> values_;
  double stream_peak_ = 0;
};

const SymbolTable& Symbol() {
  static const SymbolTable table;
  return table;
}

// Phase in radians of a tone of `cycles_per_sample`, without the precision lost by
// multiplying a large sample index directly.
double Phase(double cycles_per_sample, std::int64_t n) {
  const double cycles = cycles_per_sample * static_cast<double>(n);
  return 2 * kPi * (cycles - std::floor(cycles));
}

using Complex = std::complex<float>;

// The carrier is simulated at four times the receiver's rate, room for the sidebands of a
// multiplex up to 60 kHz at 75 kHz deviation (Carson: 270 kHz).
constexpr unsigned kOversampling = 4;
constexpr double kDeviationHz = 75000;
constexpr unsigned kFilterSemiLength = 12;
constexpr float kStopbandDb = 60;
constexpr float kOutputScale = 0.5f * 32767;

void PutLe(std::ofstream& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void WriteWav(const std::filesystem::path& path, std::span<const std::int16_t> samples,
              unsigned rate_hz, bool as_float) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("Cannot open file " + path.string());
  const std::uint32_t sample_bytes = as_float ? 4 : 2;
  const auto data_bytes = static_cast<std::uint32_t>(samples.size() * sample_bytes);
  // A float file has the extended format chunk (with an empty extension) and a fact chunk.
  const std::uint32_t fmt_bytes = as_float ? 18 : 16;
  const std::uint32_t fact_bytes = as_float ? 12 : 0;
  out.write("RIFF", 4);
  PutLe(out, 4 + (8 + fmt_bytes) + fact_bytes + (8 + data_bytes), 4);
  out.write("WAVEfmt ", 8);
  PutLe(out, fmt_bytes, 4);
  PutLe(out, as_float ? 3 : 1, 2);  // IEEE float or PCM
  PutLe(out, 1, 2);                 // mono
  PutLe(out, rate_hz, 4);
  PutLe(out, rate_hz * sample_bytes, 4);
  PutLe(out, sample_bytes, 2);
  PutLe(out, sample_bytes * 8, 2);
  if (as_float) {
    PutLe(out, 0, 2);
    out.write("fact", 4);
    PutLe(out, 4, 4);
    PutLe(out, static_cast<std::uint32_t>(samples.size()), 4);
  }
  out.write("data", 4);
  PutLe(out, data_bytes, 4);
  for (const std::int16_t s : samples) {
    if (as_float) {
      const float f = static_cast<float>(s) / 32768.0f;
      std::uint32_t raw;
      static_assert(sizeof raw == sizeof f);
      std::memcpy(&raw, &f, sizeof f);
      PutLe(out, raw, 4);
    } else {
      PutLe(out, static_cast<std::uint16_t>(s), 2);
    }
  }
  if (!out.flush()) throw std::runtime_error("Cannot write file " + path.string());
}

}  // namespace

double RdsStreamPeak() {
  return Symbol().StreamPeak();
}

std::vector<std::int16_t> SynthesizeMpx(std::span<const std::uint8_t> bits, double seconds,
                                        const MpxOptions& options) {
  if (bits.empty()) throw std::invalid_argument("SynthesizeMpx: no bits");
  const double rate = options.rate_hz;
  const auto count = static_cast<std::size_t>(std::max(0LL, std::llround(seconds * rate)));
  const double scale = 1 + options.clock_ppm * 1e-6;
  const double pilot_per_sample = kPilotHz * scale / rate;
  const double bits_per_sample = kBitRateHz * scale / rate;
  const double first_bit = options.start_s * kBitRateHz;

  // Differential coding, e(n) = d(n) xor e(n-1), over every bit the output touches, as the
  // polarity of each biphase symbol.
  const auto last_bit =
      static_cast<std::size_t>(first_bit + bits_per_sample * static_cast<double>(count)) +
      kSpanBits + 2;
  std::vector<double> polarity(last_bit + 1);
  std::uint8_t e = 0;
  for (std::size_t i = 0; i < polarity.size(); ++i) {
    e ^= bits[i % bits.size()] & 1;
    polarity[i] = e ? 1.0 : -1.0;
  }
  const SymbolTable& symbol = Symbol();

  std::mt19937 random(options.seed);
  std::normal_distribution<double> noise(0, options.noise_rms > 0 ? options.noise_rms : 1);
  const double rds_phase = options.rds_phase_deg * kPi / 180;
  double sweep_phase = 0;

  const auto response = [&](double hz) {
    const double x = kPi * hz / rate;
    return options.discriminator ? std::sin(x) / x : 1.0;
  };

  std::vector<std::int16_t> out(count);
  for (std::size_t n = 0; n < count; ++n) {
    const auto index = static_cast<std::int64_t>(n);
    const double t_s = static_cast<double>(n) / rate;
    const double pilot = Phase(pilot_per_sample, index);
    double x = 0;
    if (options.pilot) x += response(kPilotHz) * options.pilot_level * std::sin(pilot);
    if (options.tone_level > 0) {
      x += response(kToneHz) * options.tone_level * std::sin(Phase(kToneHz / rate, index));
    }
    if (options.audio) {
      for (const Tone& tone : kMonoTones) {
        x += tone.level * std::sin(Phase(tone.frequency_hz / rate, index));
      }
      const double sweep_hz = kSweepLowHz + (kSweepHighHz - kSweepLowHz) *
                                                std::fmod(t_s, kSweepPeriodS) / kSweepPeriodS;
      sweep_phase = std::fmod(sweep_phase + 2 * kPi * sweep_hz / rate, 2 * kPi);
      x += kSweepLevel * std::sin(sweep_phase);
    }
    if (options.stereo) {
      double difference = 0;
      for (const Tone& tone : kStereoTones) {
        difference += tone.level * std::sin(Phase(tone.frequency_hz / rate, index));
      }
      // The suppressed 38 kHz carrier crosses zero rising with the pilot.
      x += difference * std::sin(2 * pilot);
    }
    if (options.rds_level > 0) {
      const double position = first_bit + bits_per_sample * static_cast<double>(n);
      const auto bit = static_cast<std::int64_t>(std::floor(position));
      double baseband = 0;
      for (std::int64_t i = std::max<std::int64_t>(0, bit - kSpanBits - 1); i <= bit + kSpanBits;
           ++i) {
        baseband +=
            polarity[static_cast<std::size_t>(i)] * symbol.At(position - static_cast<double>(i));
      }
      x += response(3 * kPilotHz) * options.rds_level * baseband * std::sin(3 * pilot + rds_phase);
    }
    if (options.noise_rms > 0) x += noise(random);
    out[n] = static_cast<std::int16_t>(std::clamp(std::lround(x * 32767), -32768L, 32767L));
  }
  return out;
}

std::vector<std::int16_t> ThroughFmChain(std::span<const std::int16_t> mpx,
                                         const FmChainOptions& options) {
  const double carrier_rate = kFmChainRateHz * kOversampling;
  firinterp_rrrf interpolator =
      firinterp_rrrf_create_kaiser(kOversampling, kFilterSemiLength, kStopbandDb);
  freqmod modulator = freqmod_create(static_cast<float>(kDeviationHz / carrier_rate));
  channel_cccf channel = channel_cccf_create();
  std::array<Complex, 4> taps = {0.9535f, 0, 0, std::polar(0.3013f, 1.0f)};  // unit energy
  channel_cccf_add_multipath(channel, taps.data(), taps.size());
  channel_cccf_add_carrier_offset(channel, static_cast<float>(2 * kPi * 3000 / carrier_rate), 0);
  // The noise spreads over the whole simulated band, of which the channel takes a quarter.
  const auto snr_db = static_cast<float>(options.cn_db - 10 * std::log10(kOversampling));
  channel_cccf_add_awgn(channel, -snr_db, snr_db);  // the carrier keeps unit power
  firdecim_crcf decimator =
      firdecim_crcf_create_kaiser(kOversampling, kFilterSemiLength, kStopbandDb);
  firdecim_crcf_set_scale(decimator, 1.0f / kOversampling);
  freqdem demodulator = freqdem_create(static_cast<float>(kDeviationHz / kFmChainRateHz));
  std::srand(options.seed);  // the channel's noise comes from the C library's generator

  std::vector<std::int16_t> out(mpx.size());
  std::array<float, kOversampling> message;
  std::array<Complex, kOversampling> sent{}, received;
  for (std::size_t n = 0; n < mpx.size(); ++n) {
    firinterp_rrrf_execute(interpolator, mpx[n] / 32767.f, message.data());
    if (options.carrier)
      freqmod_modulate_block(modulator, message.data(), kOversampling, sent.data());
    channel_cccf_execute_block(channel, sent.data(), kOversampling, received.data());
    Complex filtered;
    firdecim_crcf_execute(decimator, received.data(), &filtered);
    float demodulated = 0;
    freqdem_demodulate(demodulator, filtered, &demodulated);
    out[n] = static_cast<std::int16_t>(
        std::clamp(std::lround(demodulated * kOutputScale), -32768L, 32767L));
  }
  freqdem_destroy(demodulator);
  firdecim_crcf_destroy(decimator);
  channel_cccf_destroy(channel);
  freqmod_destroy(modulator);
  firinterp_rrrf_destroy(interpolator);
  return out;
}

void WriteWav16(const std::filesystem::path& path, std::span<const std::int16_t> samples,
                unsigned rate_hz) {
  WriteWav(path, samples, rate_hz, false);
}

void WriteWavFloat(const std::filesystem::path& path, std::span<const std::int16_t> samples,
                   unsigned rate_hz) {
  WriteWav(path, samples, rate_hz, true);
}

}  // namespace receiver::testing

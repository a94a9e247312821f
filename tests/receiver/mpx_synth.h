#pragma once

// A test-side FM multiplex (MPX) transmitter: pilot, mono and stereo programme, the RDS
// subcarrier and noise, built directly from the broadcast standards' definitions so that a
// receiver can be checked against something it shares no code with; and an FM broadcast
// path for it, as a receiver such as an SDR stick sees it: the multiplex frequency-modulates
// a carrier at 75 kHz deviation, the channel adds an echo, a carrier offset and white noise,
// and the receiver filters to 171 kHz and demodulates by quadrature (liquid-dsp's modem and
// channel blocks, not the receiver's code).

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace receiver::testing {

struct MpxOptions {
  // Output sample rate.
  double rate_hz = 171000;
  // Transmitter clock error: pilot, subcarrier and bit rate all scaled by (1 + ppm * 1e-6).
  double clock_ppm = 0;
  // 19 kHz pilot, its peak as share of full scale (9% of full deviation).
  bool pilot = true;
  double pilot_level = 0.09;
  // Mono sum programme (L+R): a few tones and a slow sweep, loud (about 40% of full scale).
  bool audio = true;
  // 38 kHz DSB-SC difference signal (L-R), suppressed carrier locked to 2x pilot.
  bool stereo = true;
  // A 1 kHz mono tone, its peak as share of full scale (0: none).
  double tone_level = 0;
  // RDS subcarrier: the peak of one symbol as share of full scale (4.5%; the stream's peaks
  // are RdsStreamPeak() times higher).
  double rds_level = 0.045;
  // RDS subcarrier phase against 3x pilot (the standard allows 0 or 90 degrees).
  double rds_phase_deg = 0;
  // The pilot, the tone and the subcarrier as an FM discriminator gives them that takes the
  // phase step from one sample to the next (rtl_fm): that is the mean deviation over the
  // sample's interval, which scales a component at f by sin(pi f / rate) / (pi f / rate). The
  // programme is left as it is.
  bool discriminator = false;
  // White Gaussian noise, share of full scale.
  double noise_rms = 0;
  // Where in the bit stream the output starts (so block boundaries are not at sample 0).
  double start_s = 0.0123;
  unsigned seed = 1;
};

// The multiplex carrying `bits` (the RDS data stream before differential coding, one bit per
// cell, repeated end to end for as long as needed) for `seconds`, as signed 16-bit samples
// (full scale = 32767, clipped).
std::vector<std::int16_t> SynthesizeMpx(std::span<const std::uint8_t> bits, double seconds,
                                        const MpxOptions& options);

// The channel always has an echo 10 dB down and 4.4 us late (a reflection about 1.3 km
// further away), and the receiver is tuned 3 kHz off the carrier.
struct FmChainOptions {
  double cn_db = 30;    // carrier to noise in the receiver's channel (171 kHz wide)
  bool carrier = true;  // false: no transmitter, the receiver tuned to an empty channel
  unsigned seed = 1;
};

constexpr double kFmChainRateHz = 171000;

// The multiplex (full scale = full deviation, at kFmChainRateHz) through the path, as the
// receiver writes it: signed 16-bit samples, full deviation at half of full scale.
std::vector<std::int16_t> ThroughFmChain(std::span<const std::int16_t> mpx,
                                         const FmChainOptions& options);

// The highest peak of the RDS subcarrier's stream of symbols for an rds_level of 1: about
// 1.06, where the neighbouring symbols add to a symbol's own peak.
double RdsStreamPeak();

// WAV file writers for tests: 16-bit PCM and 32-bit float, mono.
void WriteWav16(const std::filesystem::path& path, std::span<const std::int16_t> samples,
                unsigned rate_hz);
void WriteWavFloat(const std::filesystem::path& path, std::span<const std::int16_t> samples,
                   unsigned rate_hz);

}  // namespace receiver::testing

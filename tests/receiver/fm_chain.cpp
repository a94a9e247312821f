#include "tests/receiver/fm_chain.h"

#include <complex>
// liquid.h takes std::complex<float> as its complex type when <complex> comes first.
#include <liquid/liquid.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <numbers>

namespace receiver::testing {
namespace {

using Complex = std::complex<float>;

// The carrier is simulated at four times the receiver's rate, room for the sidebands of a
// multiplex up to 60 kHz at 75 kHz deviation (Carson: 270 kHz).
constexpr unsigned kOversampling = 4;
constexpr double kDeviationHz = 75000;
constexpr unsigned kFilterSemiLength = 12;
constexpr float kStopbandDb = 60;
constexpr unsigned kEchoDelay = 3;  // samples at 684 kHz
constexpr float kEchoAmplitude = 0.316f;
constexpr float kOutputScale = 0.5f * 32767;

}  // namespace

std::vector<std::int16_t> ThroughFmChain(std::span<const std::int16_t> mpx,
                                         const FmChainOptions& options) {
  const double carrier_rate = kFmChainRateHz * kOversampling;
  firinterp_rrrf interpolator =
      firinterp_rrrf_create_kaiser(kOversampling, kFilterSemiLength, kStopbandDb);
  freqmod modulator = freqmod_create(static_cast<float>(kDeviationHz / carrier_rate));
  channel_cccf channel = channel_cccf_create();
  std::array<Complex, kEchoDelay + 1> taps{};
  taps[0] = 1;
  taps[kEchoDelay] = std::polar(kEchoAmplitude, 1.0f);
  for (Complex& tap : taps) tap /= std::sqrt(1 + kEchoAmplitude * kEchoAmplitude);
  if (options.multipath) channel_cccf_add_multipath(channel, taps.data(), taps.size());
  channel_cccf_add_carrier_offset(
      channel, static_cast<float>(2 * std::numbers::pi * options.carrier_offset_hz / carrier_rate),
      0);
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

}  // namespace receiver::testing

#include "receiver/mpx_decoder.h"

#include <complex>
// liquid.h takes std::complex<float> as its complex type when <complex> comes first.
#include <liquid/liquid.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

namespace receiver {
namespace {

using Complex = std::complex<float>;

// IEC 62106: the subcarrier is the third harmonic of the 19 kHz pilot; 1187.5 bit/s is
// 57 kHz / 48, and each bit is two biphase symbols.
constexpr double kPilotHz = 19000;
constexpr double kSubcarrierHz = 57000;
constexpr double kSymbolRateHz = 2375;
constexpr unsigned kSamplesPerSymbol = 8;
constexpr double kBasebandRateHz = kSymbolRateHz * kSamplesPerSymbol;

// The pilot's phase is averaged over about 10 ms; it is present when its level stands
// clearly above what noise gives in that band.
constexpr float kPilotSmoothing = 0.005f;
// A pilot at 9% of the deviation stands at about 0.3 of a loud multiplex's RMS; noise in the
// averaged band at well under 0.01.
constexpr float kPilotPresentRatio = 0.05f;
constexpr float kPilotGoneRatio = 0.025f;
constexpr unsigned kPilotSettling = 2000;  // baseband samples, about 0.1 s

constexpr unsigned kDecimatorSymbols = 3;
constexpr float kStopbandDb = 60;
constexpr float kPowerSmoothing = 1e-4f;
constexpr float kAgcBandwidth = 1e-3f;
constexpr unsigned kMatchedFilterSymbols = 3;
// The data-shaping filter is split equally between transmitter and receiver, each a cosine
// over 0..2375 Hz (IEC 62106): at 2375 symbols per second, a root raised cosine of rolloff 1.
constexpr float kMatchedFilterRolloff = 1.0f;
constexpr unsigned kTimingFilterBank = 32;
// Loop bandwidths as measured best through an FM chain near its threshold (bench/monitor_bench
// --table fm): narrow loops hold through noise, and a transmitter clock 100 ppm off is still
// followed. 0.005 lost 5-15% of the groups at 12-13 dB C/N.
constexpr float kTimingLoopBandwidth = 0.001f;
constexpr float kCarrierLoopBandwidth = 0.001f;
// How fast the biphase pairing forgets: the pair boundary follows a slip within ~100 bits.
constexpr float kPairingMemory = 0.99f;

constexpr std::size_t kChunk = 4096;

float RadiansPerSample(double hz, double rate_hz) {
  return static_cast<float>(2 * std::numbers::pi * hz / rate_hz);
}

}  // namespace

struct MpxDecoder::Chain {
  Chain(double rate_hz, BlockSync::GroupHandler on_group) : sync(std::move(on_group)) {
    subcarrier = nco_crcf_create(LIQUID_NCO);
    nco_crcf_set_frequency(subcarrier, RadiansPerSample(kSubcarrierHz, rate_hz));
    pilot_nco = nco_crcf_create(LIQUID_NCO);
    nco_crcf_set_frequency(pilot_nco, RadiansPerSample(kPilotHz, rate_hz));
    // An integer decimation to just above the baseband rate, then the exact rate.
    decimation = static_cast<unsigned>(rate_hz / kBasebandRateHz);
    rds_decimator = firdecim_crcf_create_kaiser(decimation, kDecimatorSymbols, kStopbandDb);
    pilot_decimator = firdecim_crcf_create_kaiser(decimation, kDecimatorSymbols, kStopbandDb);
    const auto ratio = static_cast<float>(kBasebandRateHz * decimation / rate_hz);
    rds_resampler = resamp_crcf_create_default(ratio);
    pilot_resampler = resamp_crcf_create_default(ratio);
    agc = agc_crcf_create();
    agc_crcf_set_bandwidth(agc, kAgcBandwidth);
    timing =
        symsync_crcf_create_rnyquist(LIQUID_FIRFILT_RRC, kSamplesPerSymbol, kMatchedFilterSymbols,
                                     kMatchedFilterRolloff, kTimingFilterBank);
    symsync_crcf_set_lf_bw(timing, kTimingLoopBandwidth);
    carrier = nco_crcf_create(LIQUID_NCO);
    nco_crcf_pll_set_bandwidth(carrier, kCarrierLoopBandwidth);
  }

  ~Chain() {
    nco_crcf_destroy(carrier);
    symsync_crcf_destroy(timing);
    agc_crcf_destroy(agc);
    resamp_crcf_destroy(pilot_resampler);
    resamp_crcf_destroy(rds_resampler);
    firdecim_crcf_destroy(pilot_decimator);
    firdecim_crcf_destroy(rds_decimator);
    nco_crcf_destroy(pilot_nco);
    nco_crcf_destroy(subcarrier);
  }

  void Run(std::span<const float> samples) {
    std::size_t at = 0;
    while (at < samples.size()) {
      // Whole decimation frames only; what is left of the input waits for the next call.
      const std::size_t room = kChunk - pending;
      const std::size_t n = std::min(room, samples.size() - at);
      for (std::size_t i = 0; i < n; ++i) {
        input[i] = Complex(samples[at + i], 0);
        power += (samples[at + i] * samples[at + i] - power) * kPowerSmoothing;
      }
      nco_crcf_mix_block_down(subcarrier, input.data(), rds_mixed.data() + pending, n);
      nco_crcf_mix_block_down(pilot_nco, input.data(), pilot_mixed.data() + pending, n);
      at += n;
      pending += n;
      const std::size_t frames = pending / decimation;
      for (std::size_t f = 0; f < frames; ++f) {
        Complex rds_sample, pilot_sample;
        firdecim_crcf_execute(rds_decimator, rds_mixed.data() + f * decimation, &rds_sample);
        firdecim_crcf_execute(pilot_decimator, pilot_mixed.data() + f * decimation, &pilot_sample);
        std::array<Complex, 4> rds_out, pilot_out;
        unsigned rds_count = 0, pilot_count = 0;
        resamp_crcf_execute(rds_resampler, rds_sample, rds_out.data(), &rds_count);
        resamp_crcf_execute(pilot_resampler, pilot_sample, pilot_out.data(), &pilot_count);
        // Both branches run the same resampler, so their outputs stay sample for sample.
        for (unsigned i = 0; i < std::min(rds_count, pilot_count); ++i) {
          Baseband(rds_out[i], pilot_out[i]);
        }
      }
      const std::size_t used = frames * decimation;
      std::copy(rds_mixed.begin() + used, rds_mixed.begin() + pending, rds_mixed.begin());
      std::copy(pilot_mixed.begin() + used, pilot_mixed.begin() + pending, pilot_mixed.begin());
      pending -= used;
    }
  }

  // One baseband sample (kBasebandRateHz) of the subcarrier and of the pilot. The pilot is
  // only watched for: taking the subcarrier's phase from it (three times the pilot's) lost
  // more groups in noise than the carrier loop alone, which also follows a subcarrier
  // without pilot.
  void Baseband(Complex rds_sample, Complex pilot_sample) {
    pilot_mean += (pilot_sample - pilot_mean) * kPilotSmoothing;
    // The decimator's filter has a gain of its factor.
    const float level = std::abs(pilot_mean) / static_cast<float>(decimation);
    const float reference = std::sqrt(power);
    if (settling > 0) {
      --settling;  // the input's level is not known yet
    } else if (!pilot_present && level > kPilotPresentRatio * reference) {
      pilot_present = true;
    } else if (pilot_present && level < kPilotGoneRatio * reference) {
      pilot_present = false;
    }
    Complex levelled;
    agc_crcf_execute(agc, rds_sample, &levelled);
    std::array<Complex, 4> symbols;
    unsigned symbol_count = 0;
    symsync_crcf_execute(timing, &levelled, 1, symbols.data(), &symbol_count);
    for (unsigned i = 0; i < symbol_count; ++i) Symbol(symbols[i]);
  }

  // One biphase symbol: the carrier loop takes out what phase is left (BPSK decisions), then
  // symbols are paired into bits.
  void Symbol(Complex symbol) {
    Complex y;
    nco_crcf_mix_down(carrier, symbol, &y);
    const float error = y.imag() * (y.real() > 0 ? 1.f : -1.f);
    nco_crcf_pll_step(carrier, std::clamp(error, -1.f, 1.f));
    nco_crcf_step(carrier);

    const float value = y.real();
    const float difference = value - previous_symbol;
    previous_symbol = value;
    parity ^= 1U;
    pairing[parity] = pairing[parity] * kPairingMemory + std::abs(difference);
    const unsigned pair_end = pairing[1] > pairing[0] ? 1U : 0U;
    if (parity != pair_end) return;
    const bool level = difference < 0;  // first half high, second low
    // How sure the bit is: a differential bit is as weak as the weaker of its two symbols.
    const float margin = std::abs(difference);
    sync.PushBit(level != previous_level, std::min(margin, previous_margin));
    previous_level = level;
    previous_margin = margin;
  }

  BlockSync sync;
  nco_crcf subcarrier;
  nco_crcf pilot_nco;
  unsigned decimation = 1;
  firdecim_crcf rds_decimator;
  firdecim_crcf pilot_decimator;
  resamp_crcf rds_resampler;
  resamp_crcf pilot_resampler;
  agc_crcf agc;
  symsync_crcf timing;
  nco_crcf carrier;

  std::array<Complex, kChunk> input{};
  std::array<Complex, kChunk> rds_mixed{};
  std::array<Complex, kChunk> pilot_mixed{};
  std::size_t pending = 0;

  float power = 0;
  Complex pilot_mean{};
  bool pilot_present = false;
  unsigned settling = kPilotSettling;
  float previous_symbol = 0;
  unsigned parity = 0;
  std::array<float, 2> pairing{};
  bool previous_level = false;
  float previous_margin = 0;
};

MpxDecoder::MpxDecoder(double rate_hz, BlockSync::GroupHandler on_group) {
  if (!(rate_hz >= kLowestRateHz && rate_hz <= kHighestRateHz)) {
    throw std::runtime_error("sample rate " + std::to_string(std::lround(rate_hz)) +
                             " Hz is outside 128000 to 250000 Hz");
  }
  chain_ = std::make_unique<Chain>(rate_hz, std::move(on_group));
}

MpxDecoder::~MpxDecoder() = default;

void MpxDecoder::Feed(std::span<const float> samples) {
  chain_->Run(samples);
}

void MpxDecoder::Feed(std::span<const std::int16_t> samples) {
  std::array<float, kChunk> scaled;
  for (std::size_t at = 0; at < samples.size(); at += kChunk) {
    const std::size_t n = std::min(kChunk, samples.size() - at);
    for (std::size_t i = 0; i < n; ++i) scaled[i] = samples[at + i] / 32768.f;
    chain_->Run(std::span<const float>(scaled.data(), n));
  }
}

DecoderStats MpxDecoder::stats() const {
  return {chain_->pilot_present, chain_->sync.synced(), chain_->sync.blocks_received(),
          chain_->sync.blocks_bad()};
}

}  // namespace receiver

#include "receiver/level_meter.h"

#include <complex>
// liquid.h takes std::complex<float> as its complex type when <complex> comes first.
#include <liquid/liquid.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <numbers>
#include <optional>
#include <vector>

namespace receiver {
namespace {

using Complex = std::complex<float>;

// IEC 62106: the pilot at 19 kHz, the RDS subcarrier at 57 kHz, its data within 2.4 kHz of
// it. The stereo difference signal ends 4 kHz from either (at 23 and 53 kHz), the mono
// programme at 15 kHz.
constexpr double kPilotHz = 19000;
constexpr double kSubcarrierHz = 57000;
// Both bands are brought to baseband and decimated to about this rate.
constexpr double kBandRateHz = 19000;
constexpr unsigned kDecimatorSymbols = 4;
constexpr float kDecimatorStopbandDb = 80;
// The oscillator that brings a band down has spurs 60 dB below it (liquid-dsp 1.5), which
// would carry the loud programme into the subcarrier's band (a 60 kHz tone read as 0.14 kHz
// there). The programme is taken out before: a Butterworth high-pass below the band, whose
// small loss at 57 kHz is made up.
constexpr unsigned kHighPassOrder = 6;
constexpr double kHighPassHz = 40000;
// The bands' filters at the band rate: the pilot within 500 Hz, the subcarrier within 3 kHz,
// both down by 60 dB where the programme and the stereo signal begin.
constexpr unsigned kBandTaps = 63;
constexpr float kBandStopbandDb = 60;
constexpr double kPilotCutoffHz = 500;
constexpr double kRdsCutoffHz = 3000;
// The bands are measured over the first quarter of each window, which keeps the meter's cost
// a fraction of the decoder's (bench/monitor_bench); what the filters give in their first
// 5 ms after a pause is not counted.
constexpr unsigned kBandShareOfWindow = 4;
constexpr double kBandSettleS = 0.005;

// The subcarrier's peak is taken at this percentile of its envelope, so that noise peaks do
// not count; the multiplex's peak deviation at 99.9%, so that it exceeds a limit exactly when
// more than 0.1% of the samples do.
constexpr double kRdsPercentile = 0.99;
constexpr double kPeakPercentile = 0.999;
// The samples are counted in bins of 1/8192 of full scale (0.03 kHz at 250 kHz) from -1 to
// +1; the outermost bins take whatever lies beyond.
constexpr std::size_t kSampleBins = 2 * 8192;
// A pilot weaker than this share of full scale cannot set the scale (--pilot-khz).
constexpr double kPilotFloor = 1e-3;
// ITU-R BS.412: 0 dBr is the power of a sine of +-19 kHz deviation.
constexpr double kReferenceKhz = 19;
// IEC 62106: 1187.5 bit/s in blocks of 26 bits.
constexpr double kBlocksPerSecond = 1187.5 / 26;

constexpr std::size_t kChunk = 4096;

float RadiansPerSample(double hz, double rate_hz) {
  return static_cast<float>(2 * std::numbers::pi * hz / rate_hz);
}

// A low-pass filter of unit gain at DC.
firfilt_crcf BandFilter(double cutoff_hz, double rate_hz) {
  std::array<float, kBandTaps> taps{};
  liquid_firdes_kaiser(kBandTaps, static_cast<float>(cutoff_hz / rate_hz), kBandStopbandDb, 0,
                       taps.data());
  float sum = 0;
  for (const float t : taps) sum += t;
  firfilt_crcf filter = firfilt_crcf_create(taps.data(), kBandTaps);
  firfilt_crcf_set_scale(filter, 1 / sum);
  return filter;
}

double Percentile(std::vector<float> values, double share) {
  if (values.empty()) return 0;
  const auto k = std::min(values.size() - 1, static_cast<std::size_t>(share * values.size()));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
  return values[k];
}

// One band (pilot or subcarrier) brought to baseband and decimated to about kBandRateHz; its
// envelope is twice the magnitude there, the amplitude of the sine it came from.
class Band {
 public:
  // gain: what the band's amplitude is multiplied by.
  Band(double hz, double rate_hz, double cutoff_hz, float gain, double high_pass_hz = 0)
      : decimation_(std::max(1U, static_cast<unsigned>(rate_hz / kBandRateHz))),
        settle_outputs_(static_cast<unsigned>(kBandSettleS * rate_hz / decimation_)),
        gain_(gain) {
    if (high_pass_hz > 0) {
      high_pass_ = iirfilt_rrrf_create_prototype(
          LIQUID_IIRDES_BUTTER, LIQUID_IIRDES_HIGHPASS, LIQUID_IIRDES_SOS, kHighPassOrder,
          static_cast<float>(high_pass_hz / rate_hz), 0, 1, kBandStopbandDb);
      Complex response;
      iirfilt_rrrf_freqresponse(high_pass_, static_cast<float>(hz / rate_hz), &response);
      gain_ /= std::abs(response);
    }
    mixer_ = nco_crcf_create(LIQUID_NCO);
    nco_crcf_set_frequency(mixer_, RadiansPerSample(hz, rate_hz));
    decimator_ = firdecim_crcf_create_kaiser(decimation_, kDecimatorSymbols, kDecimatorStopbandDb);
    firdecim_crcf_set_scale(decimator_, 1.f / static_cast<float>(decimation_));
    filter_ = BandFilter(cutoff_hz, rate_hz / decimation_);
    mixed_.resize(kChunk + decimation_);
    decimated_.resize(kChunk / decimation_ + 1);
  }
  ~Band() {
    firfilt_crcf_destroy(filter_);
    firdecim_crcf_destroy(decimator_);
    nco_crcf_destroy(mixer_);
    if (high_pass_) iirfilt_rrrf_destroy(high_pass_);
  }
  Band(const Band&) = delete;
  Band& operator=(const Band&) = delete;

  // The samples that follow are not those that went before.
  void Resume() { settling_ = settle_outputs_; }

  // Up to kChunk samples; calls take(envelope) for each sample at the band's rate.
  template <typename Take>
  void Run(std::span<const float> input, Take take) {
    const auto n = static_cast<unsigned>(input.size());
    const float* real = input.data();
    if (high_pass_) {
      iirfilt_rrrf_execute_block(high_pass_, const_cast<float*>(real), n, filtered_.data());
      real = filtered_.data();
    }
    Complex* const into = mixed_.data() + pending_;
    for (unsigned i = 0; i < n; ++i) into[i] = real[i];
    nco_crcf_mix_block_down(mixer_, into, into, n);
    pending_ += n;
    // Whole decimation frames; the rest waits for the next call.
    const std::size_t frames = pending_ / decimation_;
    firdecim_crcf_execute_block(decimator_, mixed_.data(), static_cast<unsigned>(frames),
                                decimated_.data());
    const std::size_t used = frames * decimation_;
    std::copy(mixed_.begin() + static_cast<std::ptrdiff_t>(used),
              mixed_.begin() + static_cast<std::ptrdiff_t>(pending_), mixed_.begin());
    pending_ -= used;
    for (std::size_t i = 0; i < frames; ++i) {
      Complex y;
      firfilt_crcf_push(filter_, decimated_[i]);
      firfilt_crcf_execute(filter_, &y);
      if (settling_ > 0) {
        --settling_;
      } else {
        take(2 * gain_ * std::abs(y));
      }
    }
  }

 private:
  unsigned decimation_;
  unsigned settle_outputs_;
  unsigned settling_ = 0;
  iirfilt_rrrf high_pass_ = nullptr;
  float gain_ = 1;
  nco_crcf mixer_;
  firdecim_crcf decimator_;
  firfilt_crcf filter_;
  std::array<float, kChunk> filtered_{};
  std::vector<Complex> mixed_;
  std::size_t pending_ = 0;
  std::vector<Complex> decimated_;
};

// What the meter makes up at hz for an FM discriminator's response (LevelScale).
float DiscriminatorGain(const LevelScale& scale, double hz, double rate_hz) {
  if (scale.full_scale_khz || scale.pilot_khz) return 1;
  const double x = std::numbers::pi * hz / rate_hz;
  return static_cast<float>(x / std::sin(x));
}

}  // namespace

// One window's levels, in kHz.
struct LevelMeter::Window {
  double end_s = 0;
  double seconds = 0;
  bool scaled = false;
  double pilot_khz = 0;
  double rds_khz = 0;
  double peak_khz = 0;
  std::uint64_t samples = 0;
  std::uint64_t over = 0;
  double power_sum = 0;  // of the squared deviation, kHz^2
  std::uint64_t valid_blocks = 0;
};

struct LevelMeter::Chain {
  Chain(double rate_hz, MeterOptions options, Report on_report)
      : rate_hz(rate_hz),
        options(options),
        on_report(std::move(on_report)),
        window_samples(static_cast<std::uint64_t>(std::llround(rate_hz * kWindow.count()))),
        band_samples(window_samples / kBandShareOfWindow),
        pilot(kPilotHz, rate_hz, kPilotCutoffHz,
              DiscriminatorGain(options.scale, kPilotHz, rate_hz)),
        rds(kSubcarrierHz, rate_hz, kRdsCutoffHz,
            DiscriminatorGain(options.scale, kSubcarrierHz, rate_hz), kHighPassHz) {}

  void Clear() {
    histogram.fill(0);
    envelopes.clear();
    sum = 0;
    square_sum = 0;
    pilot_sum = 0;
    pilot_count = 0;
    samples = 0;
  }

  double rate_hz;
  MeterOptions options;
  Report on_report;
  std::uint64_t window_samples;
  std::uint64_t band_samples;
  Band pilot;
  Band rds;

  // The window under way, in full-scale units.
  std::array<std::uint32_t, kSampleBins> histogram{};
  double sum = 0;
  double square_sum = 0;
  std::vector<float> envelopes;  // the subcarrier's
  double pilot_sum = 0;
  std::uint64_t pilot_count = 0;
  std::uint64_t samples = 0;

  std::uint64_t samples_total = 0;
  std::uint64_t windows_total = 0;
  std::deque<Window> windows;  // the last kPowerSpan ones, newest last
};

LevelMeter::LevelMeter(double rate_hz, MeterOptions options, Report on_report)
    : chain_(std::make_unique<Chain>(rate_hz, options, std::move(on_report))) {}

LevelMeter::~LevelMeter() = default;

void LevelMeter::Feed(std::span<const float> samples) {
  Chain& c = *chain_;
  std::size_t at = 0;
  while (at < samples.size()) {
    // Never across the end of a window, nor of its band measurement.
    const std::uint64_t until = c.samples < c.band_samples ? c.band_samples : c.window_samples;
    const std::size_t n =
        std::min({kChunk, samples.size() - at, static_cast<std::size_t>(until - c.samples)});
    const std::span<const float> chunk = samples.subspan(at, n);
    for (const float x : chunk) {
      c.sum += x;
      c.square_sum += static_cast<double>(x) * x;
      const float bin = std::clamp((x + 1) * (kSampleBins / 2), 0.f, kSampleBins - 1.f);
      ++c.histogram[static_cast<std::size_t>(bin)];
    }
    if (c.samples < c.band_samples) {
      if (c.samples == 0) {
        c.pilot.Resume();
        c.rds.Resume();
      }
      c.pilot.Run(chunk, [&](float envelope) {
        c.pilot_sum += envelope;
        ++c.pilot_count;
      });
      c.rds.Run(chunk, [&](float envelope) { c.envelopes.push_back(envelope); });
    }
    at += n;
    c.samples += n;
    c.samples_total += n;
    if (c.samples < c.window_samples) continue;
    c.windows.push_back(Measure());
    if (c.windows.size() > static_cast<std::size_t>(kPowerSpan / kWindow)) c.windows.pop_front();
    c.Clear();
    if (++c.windows_total % static_cast<std::uint64_t>(kReportEvery / kWindow) == 0 &&
        c.on_report) {
      c.on_report(Aggregate(nullptr));
    }
  }
}

LevelMeter::Window LevelMeter::Measure() const {
  const Chain& c = *chain_;
  Window w;
  w.end_s = static_cast<double>(c.samples_total) / c.rate_hz;
  w.seconds = static_cast<double>(c.samples) / c.rate_hz;
  w.samples = c.samples;
  w.valid_blocks = valid_blocks_;
  if (c.samples == 0) return w;
  const double pilot = c.pilot_count ? c.pilot_sum / static_cast<double>(c.pilot_count) : 0;
  double khz = c.options.scale.full_scale_khz.value_or(c.rate_hz / 1000);
  if (c.options.scale.pilot_khz) {
    if (pilot < kPilotFloor) return w;
    khz = *c.options.scale.pilot_khz / pilot;
  }
  w.scaled = true;
  w.pilot_khz = pilot * khz;
  w.rds_khz = Percentile(c.envelopes, kRdsPercentile) * khz;
  // Deviation is measured from the window's mean, which takes out a receiver's tuning offset:
  // the percentile is where the bins farther from the mean than it (each taken at its
  // middle) hold no more than the share above it.
  const double mean = c.sum / static_cast<double>(c.samples);
  const auto distance = [&](std::size_t bin) {
    return std::abs((static_cast<double>(bin) + 0.5) / (kSampleBins / 2) - 1 - mean);
  };
  const auto allowed =
      static_cast<std::uint64_t>((1 - kPeakPercentile) * static_cast<double>(c.samples));
  std::uint64_t outside = 0;
  for (std::size_t low = 0, high = kSampleBins - 1; low <= high;) {
    const bool from_low = distance(low) > distance(high);
    const std::size_t bin = from_low ? low : high;
    w.peak_khz = distance(bin) * khz;
    if (outside + c.histogram[bin] > allowed) break;
    outside += c.histogram[bin];
    if (from_low) {
      ++low;
    } else if (high-- == 0) {
      break;
    }
  }
  for (std::size_t bin = 0; bin < kSampleBins; ++bin) {
    if (distance(bin) * khz > c.options.over_khz) w.over += c.histogram[bin];
  }
  w.power_sum = (c.square_sum - mean * c.sum) * khz * khz;
  return w;
}

Levels LevelMeter::Aggregate(const Window* current) const {
  const Chain& c = *chain_;
  std::vector<const Window*> newest_first;
  if (current && current->samples > 0) newest_first.push_back(current);
  for (auto w = c.windows.rbegin(); w != c.windows.rend(); ++w) newest_first.push_back(&*w);

  Levels levels;
  levels.at = std::chrono::duration<double>(static_cast<double>(c.samples_total) / c.rate_hz);
  levels.over_khz = c.options.over_khz;
  if (newest_first.empty()) return levels;

  // Pilot, RDS and peak over the last kReportEvery; power and block errors over theirs.
  std::size_t scaled = 0;
  std::uint64_t samples = 0, over = 0, power_samples = 0;
  double power_sum = 0;
  const auto report_windows = static_cast<std::size_t>(kReportEvery / kWindow);
  for (std::size_t i = 0; i < newest_first.size(); ++i) {
    const Window& w = *newest_first[i];
    if (i < report_windows) levels.span += std::chrono::duration<double>(w.seconds);
    if (!w.scaled) continue;
    if (i < report_windows) {
      ++scaled;
      levels.pilot_khz += w.pilot_khz;
      levels.rds_khz += w.rds_khz;
      levels.peak_khz = std::max(levels.peak_khz, w.peak_khz);
      samples += w.samples;
      over += w.over;
    }
    power_sum += w.power_sum;
    power_samples += w.samples;
    levels.mpx_power_span += std::chrono::duration<double>(w.seconds);
  }
  if (scaled > 0) {
    levels.scaled = true;
    levels.pilot_khz /= static_cast<double>(scaled);
    levels.rds_khz /= static_cast<double>(scaled);
    levels.over_percent = 100.0 * static_cast<double>(over) / static_cast<double>(samples);
    const double mean_square = power_sum / static_cast<double>(power_samples);
    levels.mpx_power_dbr =
        10 * std::log10(std::max(mean_square, 1e-12) / (kReferenceKhz * kReferenceKhz / 2));
  }

  // Blocks: those valid since the start of the span against those sent in it.
  const auto block_windows = static_cast<std::size_t>(kBlockErrorSpan / kWindow);
  const std::size_t first = std::min(block_windows, newest_first.size());
  double seconds = 0;
  for (std::size_t i = 0; i < first; ++i) seconds += newest_first[i]->seconds;
  const std::uint64_t before = first < newest_first.size() ? newest_first[first]->valid_blocks : 0;
  const double valid = static_cast<double>(newest_first.front()->valid_blocks - before);
  levels.block_errors_span = std::chrono::duration<double>(seconds);
  levels.block_errors_percent =
      seconds > 0 ? std::clamp(100 * (1 - valid / (seconds * kBlocksPerSecond)), 0.0, 100.0) : 0;
  return levels;
}

Levels LevelMeter::Now() const {
  const Window current = Measure();
  return Aggregate(&current);
}

}  // namespace receiver

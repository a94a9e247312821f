#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>

namespace receiver {

// How sample values become deviation.
struct LevelScale {
  // The deviation of a full-scale sample (1.0; 32768 in 16 bits) in kHz. Unset: the sample
  // rate in kHz, the scale of an FM discriminator whose half of full scale is pi (rtl_fm:
  // deviation = sample x rate / 32768). Such a discriminator takes the phase step from one
  // sample to the next, the mean deviation over the sample's interval, which is less than the
  // pilot's and the subcarrier's own by sin(pi f / rate) / (pi f / rate): 17% at 57 kHz and
  // 171 kHz. With this scale the meter makes that up.
  std::optional<double> full_scale_khz;
  // Set: each second's scale is taken from the pilot, which is this many kHz.
  std::optional<double> pilot_khz;
};

struct MeterOptions {
  LevelScale scale;
  double over_khz = 75;  // the deviation whose share of samples is counted
};

// The levels of the multiplex up to a point in the signal. Deviations in kHz.
struct Levels {
  std::chrono::duration<double> at{};  // the signal time the levels end at
  // The signal pilot, RDS, peak and the share over over_khz cover: the last 10 s, or less.
  std::chrono::duration<double> span{};
  // False when the scale is to come from the pilot and no second had one: then no level is
  // known.
  bool scaled = false;
  double pilot_khz = 0;  // the 19 kHz pilot's amplitude, averaged over the seconds
  double rds_khz = 0;    // the 57 kHz subcarrier's peak (99th percentile), averaged
  double peak_khz = 0;   // |MPX| at its 99.9th percentile: the highest second's
  double over_khz = 75;
  double over_percent = 0;  // the share of samples above over_khz, over the span
  // ITU-R BS.412: the power over the last 60 s (less at the start) against that of a sine
  // of 19 kHz deviation.
  double mpx_power_dbr = 0;
  std::chrono::duration<double> mpx_power_span{};
  // The share of the blocks sent in the last 20 s (less at the start) that were not
  // received valid.
  double block_errors_percent = 0;
  std::chrono::duration<double> block_errors_span{};
};

// Measures the multiplex's levels in windows of 1 s, from the same samples the decoder is
// fed but independently of it, so that they read when nothing decodes: the pilot from the
// band around 19 kHz, the RDS injection from the band around 57 kHz, peak deviation and
// power from the whole multiplex (its DC, a receiver's tuning offset, taken out). Only the
// block error rate comes from the decoder. Every 10 s of signal the levels go to on_report.
class LevelMeter {
 public:
  static constexpr std::chrono::seconds kWindow{1};
  static constexpr std::chrono::seconds kReportEvery{10};
  static constexpr std::chrono::seconds kPowerSpan{60};
  static constexpr std::chrono::seconds kBlockErrorSpan{20};
  using Report = std::function<void(const Levels&)>;

  LevelMeter(double rate_hz, MeterOptions options, Report on_report);
  ~LevelMeter();
  LevelMeter(const LevelMeter&) = delete;
  LevelMeter& operator=(const LevelMeter&) = delete;

  // Samples of the multiplex, full scale +-1.
  void Feed(std::span<const float> samples);
  // The decoder's count of valid blocks since the start.
  void CountBlocks(std::uint64_t valid_blocks) { valid_blocks_ = valid_blocks; }
  // The levels up to now, the second under way included.
  Levels Now() const;

 private:
  struct Window;
  struct Chain;
  Window Measure() const;
  Levels Aggregate(const Window* current) const;

  std::unique_ptr<Chain> chain_;
  std::uint64_t valid_blocks_ = 0;
};

}  // namespace receiver

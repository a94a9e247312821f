#pragma once

// An FM broadcast path for test multiplexes, as a receiver such as an SDR stick sees it: the
// multiplex frequency-modulates a carrier at 75 kHz deviation, the channel adds an echo, a
// carrier offset and white noise, and the receiver filters to 171 kHz and demodulates by
// quadrature. Built from liquid-dsp's modem and channel blocks, not from the receiver's code.

#include <cstdint>
#include <span>
#include <vector>

namespace receiver::testing {

struct FmChainOptions {
  // Carrier to noise in the receiver's channel (171 kHz wide).
  double cn_db = 30;
  double carrier_offset_hz = 3000;
  // An echo 10 dB down and 4.4 us late (a reflection about 1.3 km further away).
  bool multipath = true;
  // false: no transmitter at all, the receiver tuned to an empty channel.
  bool carrier = true;
  unsigned seed = 1;
};

constexpr double kFmChainRateHz = 171000;

// The multiplex (full scale = full deviation, at kFmChainRateHz) through the path, as the
// receiver writes it: signed 16-bit samples, full deviation at half of full scale.
std::vector<std::int16_t> ThroughFmChain(std::span<const std::int16_t> mpx,
                                         const FmChainOptions& options);

}  // namespace receiver::testing

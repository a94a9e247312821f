#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "receiver/block_sync.h"

namespace receiver {

// What the decoder has seen so far.
struct DecoderStats {
  bool pilot = false;   // a 19 kHz pilot is there and the subcarrier is taken from it
  bool synced = false;  // block sync held
  // Every 26 bits of the stream is a block; bad ones had no valid word (out of sync,
  // beyond correction, or in a group dropped for more than one correction).
  std::uint64_t blocks_received = 0;
  std::uint64_t blocks_bad = 0;
};

// Decodes RDS from an FM multiplex (IEC 62106): the 57 kHz subcarrier brought to baseband
// (its phase from the pilot when there is one), symbol timing, biphase and differential
// decoding, then block sync. Groups go to the handler as they are completed.
class MpxDecoder {
 public:
  static constexpr double kLowestRateHz = 128000;
  static constexpr double kHighestRateHz = 250000;

  // Throws std::runtime_error for a rate outside kLowestRateHz..kHighestRateHz.
  MpxDecoder(double rate_hz, BlockSync::GroupHandler on_group);
  ~MpxDecoder();
  MpxDecoder(const MpxDecoder&) = delete;
  MpxDecoder& operator=(const MpxDecoder&) = delete;

  // Samples of the multiplex, full scale ±1.
  void Feed(std::span<const float> samples);
  // Signed 16-bit samples, full scale ±32768.
  void Feed(std::span<const std::int16_t> samples);

  DecoderStats stats() const;

 private:
  struct Chain;
  std::unique_ptr<Chain> chain_;
};

}  // namespace receiver

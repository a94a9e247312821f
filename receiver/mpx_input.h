#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace receiver {

// Something that yields bytes: a file, standard input, a command's output.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to out.size() bytes; 0 at the end.
  virtual std::size_t Read(std::span<std::uint8_t> out) = 0;
};

// A WAV file whose rate is not the one given: the caller's mistake more than the file's.
class RateMismatch : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An FM multiplex read from a byte stream: a WAV file (16-bit PCM or 32-bit float, the first
// channel), or raw signed 16-bit little-endian mono samples at the rate given. Throws
// std::runtime_error for a stream that is neither, or a rate outside what the decoder takes;
// RateMismatch for a WAV file of another rate than the one given.
class MpxStream {
 public:
  static constexpr double kDefaultRawRateHz = 171000;

  MpxStream(ByteSource& source, std::optional<double> rate_hz);

  double rate_hz() const { return rate_hz_; }
  bool wav() const { return wav_; }

  // Up to out.size() samples, full scale ±1; 0 at the end.
  std::size_t Read(std::span<float> out);

 private:
  bool Fill(std::size_t bytes);
  void ReadWavHeader(std::optional<double> rate_hz);

  ByteSource& source_;
  std::vector<std::uint8_t> buffer_;  // read but not yet used
  std::size_t used_ = 0;
  bool ended_ = false;
  bool wav_ = false;
  bool float_samples_ = false;
  unsigned frame_bytes_ = 2;                // one sample of every channel
  std::optional<std::uint64_t> data_left_;  // bytes of the WAV data chunk not yet read
  double rate_hz_ = kDefaultRawRateHz;
};

}  // namespace receiver

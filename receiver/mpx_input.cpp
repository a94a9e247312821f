#include "receiver/mpx_input.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>
#include <string>

#include "receiver/mpx_decoder.h"

namespace receiver {
namespace {

// WAV format tags (RIFF): PCM, IEEE float, and the extensible header that names either.
constexpr unsigned kWavePcm = 1;
constexpr unsigned kWaveFloat = 3;
constexpr unsigned kWaveExtensible = 0xFFFE;
// Text is refused after this much of it: no multiplex looks like that.
constexpr std::size_t kSniffBytes = 512;
// Chunks before the samples (format, lists, notes) are small; a larger one is no WAV header.
constexpr std::uint32_t kLongestHeaderChunk = 1 << 20;

unsigned Le16(const std::uint8_t* p) {
  return p[0] | (p[1] << 8);
}
std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

void CheckRate(double rate_hz) {
  if (!(rate_hz >= MpxDecoder::kLowestRateHz && rate_hz <= MpxDecoder::kHighestRateHz)) {
    throw std::runtime_error("sample rate " + std::to_string(std::lround(rate_hz)) +
                             " Hz is outside 128000 to 250000 Hz");
  }
}

bool LooksLikeText(std::span<const std::uint8_t> bytes) {
  return bytes.size() >= 64 && std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) {
           return b == '\t' || b == '\n' || b == '\r' || (b >= 0x20 && b < 0x7F);
         });
}

}  // namespace

MpxStream::MpxStream(ByteSource& source, std::optional<double> rate_hz) : source_(source) {
  Fill(kSniffBytes);
  const std::span<const std::uint8_t> head(buffer_.data(), buffer_.size());
  if (head.size() >= 4 && std::memcmp(head.data(), "RIFF", 4) == 0) {
    ReadWavHeader(rate_hz);
    return;
  }
  if (LooksLikeText(head)) {
    throw std::runtime_error("the input is text, not MPX samples or a WAV file");
  }
  rate_hz_ = rate_hz.value_or(kDefaultRawRateHz);
  CheckRate(rate_hz_);
}

bool MpxStream::Fill(std::size_t bytes) {
  if (used_ > 0) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(used_));
    used_ = 0;
  }
  while (buffer_.size() < bytes && !ended_) {
    std::uint8_t chunk[16384];
    const std::size_t got = source_.Read(chunk);
    if (got == 0) ended_ = true;
    buffer_.insert(buffer_.end(), chunk, chunk + got);
  }
  return buffer_.size() >= bytes;
}

void MpxStream::ReadWavHeader(std::optional<double> rate_hz) {
  const auto need = [&](std::size_t bytes) {
    if (!Fill(bytes)) throw std::runtime_error("the WAV file ends inside its header");
    return buffer_.data();
  };
  if (std::memcmp(need(12) + 8, "WAVE", 4) != 0) {
    throw std::runtime_error("the input is a RIFF file but not WAV");
  }
  used_ += 12;
  bool have_format = false;
  for (;;) {
    const std::uint8_t* chunk = need(8);
    const std::uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) {
      if (!have_format) throw std::runtime_error("the WAV file has no format before its data");
      used_ += 8;
      // 0 or all ones: a stream whose writer could not know its length.
      if (size != 0 && size != 0xFFFFFFFF) data_left_ = size;
      break;
    }
    if (size > kLongestHeaderChunk) {
      throw std::runtime_error("the WAV file has a header chunk of " + std::to_string(size) +
                               " bytes");
    }
    const std::uint8_t* body = need(8 + size + (size & 1)) + 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16) throw std::runtime_error("the WAV file's format is cut short");
      unsigned tag = Le16(body);
      const unsigned channels = Le16(body + 2);
      const std::uint32_t rate = Le32(body + 4);
      const unsigned bits = Le16(body + 14);
      if (tag == kWaveExtensible && size >= 26) tag = Le16(body + 24);
      if (channels == 0) throw std::runtime_error("the WAV file has no channel");
      if (tag == kWavePcm && bits == 16) {
        float_samples_ = false;
        frame_bytes_ = 2 * channels;
      } else if (tag == kWaveFloat && bits == 32) {
        float_samples_ = true;
        frame_bytes_ = 4 * channels;
      } else {
        throw std::runtime_error("the WAV file holds " + std::to_string(bits) +
                                 "-bit samples of format " + std::to_string(tag) +
                                 "; 16-bit PCM or 32-bit float can be read");
      }
      if (rate_hz && std::lround(*rate_hz) != static_cast<long>(rate)) {
        throw RateMismatch("the WAV file's rate is " + std::to_string(rate) + " Hz, not the " +
                           std::to_string(std::lround(*rate_hz)) + " Hz given");
      }
      rate_hz_ = rate;
      have_format = true;
    }
    used_ += 8 + size + (size & 1);
  }
  wav_ = true;
  CheckRate(rate_hz_);
}

std::size_t MpxStream::Read(std::span<float> out) {
  std::size_t n = 0;
  while (n < out.size()) {
    std::size_t frames = out.size() - n;
    if (data_left_) frames = std::min<std::uint64_t>(frames, *data_left_ / frame_bytes_);
    if (frames == 0) break;
    if (buffer_.size() - used_ < frame_bytes_ && !Fill(frame_bytes_)) break;
    frames = std::min(frames, (buffer_.size() - used_) / frame_bytes_);
    const std::uint8_t* p = buffer_.data() + used_;
    for (std::size_t i = 0; i < frames; ++i, p += frame_bytes_) {
      if (float_samples_) {
        float value;
        const std::uint32_t bits = Le32(p);
        std::memcpy(&value, &bits, sizeof value);
        out[n++] = std::isfinite(value) ? value : 0.f;
      } else {
        out[n++] = static_cast<std::int16_t>(Le16(p)) / 32768.f;
      }
    }
    used_ += frames * frame_bytes_;
    if (data_left_) *data_left_ -= frames * frame_bytes_;
  }
  return n;
}

}  // namespace receiver

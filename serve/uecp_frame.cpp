// Frame layout, stuffing, CRC and response codes as the UECP standard (EBU SPB 490) lays
// them down; checked against the public test frames of python-uecp (MIT licence), e.g. the
// empty frame fe 00 00 00 00 7b 3f ff.
#include "serve/uecp_frame.h"

namespace serve {
namespace {

constexpr std::size_t kHeaderBytes = 4;  // address (2), sequence counter, length
constexpr std::size_t kCrcBytes = 2;
constexpr std::size_t kMaxFrameData = kHeaderBytes + kUecpMaxMessage + kCrcBytes;

void PutStuffed(std::uint8_t byte, std::vector<std::uint8_t>& out) {
  if (byte >= kUecpEscape) {
    out.push_back(kUecpEscape);
    out.push_back(static_cast<std::uint8_t>(byte - kUecpEscape));
  } else {
    out.push_back(byte);
  }
}

}  // namespace

std::uint16_t UecpCrc(std::span<const std::uint8_t> bytes) {
  std::uint16_t crc = 0xFFFF;
  for (const std::uint8_t byte : bytes) {
    crc ^= static_cast<std::uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
  }
  return static_cast<std::uint16_t>(~crc);
}

void UecpFrameReader::Feed(std::span<const std::uint8_t> bytes, const Sink& sink) {
  for (const std::uint8_t byte : bytes) {
    if (byte == kUecpStart) {
      if (in_frame_) {
        fault_ = UecpResponse::kEndMessageMissing;
        Finish(sink);
      }
      in_frame_ = true;
      continue;
    }
    if (!in_frame_) continue;
    if (byte == kUecpStop) {
      if (escape_) fault_ = UecpResponse::kBadStuffing;
      Finish(sink);
      continue;
    }
    std::uint8_t value = byte;
    if (escape_) {
      escape_ = false;
      if (byte > kUecpStop - kUecpEscape) {
        fault_ = fault_.value_or(UecpResponse::kBadStuffing);
        continue;
      }
      value = static_cast<std::uint8_t>(kUecpEscape + byte);
    } else if (byte == kUecpEscape) {
      escape_ = true;
      continue;
    }
    if (data_.size() < kMaxFrameData) {
      data_.push_back(value);
    } else {
      fault_ = fault_.value_or(UecpResponse::kBufferOverflow);
    }
  }
}

void UecpFrameReader::Finish(const Sink& sink) {
  UecpFrameResult result;
  if (data_.size() >= 2) result.address = static_cast<std::uint16_t>(data_[0] << 8 | data_[1]);
  if (data_.size() >= 3) result.sequence = data_[2];
  if (fault_) {
    result.response = *fault_;
  } else if (data_.size() < kHeaderBytes + kCrcBytes) {
    result.response = UecpResponse::kUnexpectedEnd;
  } else {
    const std::size_t body = data_.size() - kCrcBytes;
    const auto crc = static_cast<std::uint16_t>(data_[body] << 8 | data_[body + 1]);
    if (crc != UecpCrc(std::span(data_).first(body))) {
      result.response = UecpResponse::kCrcError;
    } else if (data_[3] != body - kHeaderBytes) {
      result.response = UecpResponse::kFieldLengthError;
    } else {
      result.message.assign(data_.begin() + kHeaderBytes, data_.begin() + body);
    }
  }
  in_frame_ = false;
  escape_ = false;
  fault_.reset();
  data_.clear();
  sink(result);
}

std::vector<std::uint8_t> EncodeUecpFrame(std::uint16_t address, std::uint8_t sequence,
                                          std::span<const std::uint8_t> message) {
  std::vector<std::uint8_t> data = {static_cast<std::uint8_t>(address >> 8),
                                    static_cast<std::uint8_t>(address & 0xFF), sequence,
                                    static_cast<std::uint8_t>(message.size())};
  data.insert(data.end(), message.begin(), message.end());
  const std::uint16_t crc = UecpCrc(data);
  data.push_back(static_cast<std::uint8_t>(crc >> 8));
  data.push_back(static_cast<std::uint8_t>(crc & 0xFF));
  std::vector<std::uint8_t> frame = {kUecpStart};
  for (const std::uint8_t byte : data) PutStuffed(byte, frame);
  frame.push_back(kUecpStop);
  return frame;
}

std::vector<std::uint8_t> UecpAcknowledgement(UecpResponse response, std::uint8_t sequence) {
  if (response == UecpResponse::kOk) return {kUecpAcknowledgement, 0};
  return {kUecpAcknowledgement, static_cast<std::uint8_t>(response), sequence};
}

bool UecpAddressedTo(std::uint16_t address, const std::optional<UecpAddress>& ours) {
  if (!ours) return true;
  const unsigned site = address >> 6;
  const unsigned encoder = address & 0x3F;
  return (site == 0 || site == ours->site) && (encoder == 0 || encoder == ours->encoder);
}

}  // namespace serve

#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

namespace serve {

// UECP frames as control systems send them to an RDS encoder: start 0xFE, the address
// (10-bit site, 6-bit encoder), a sequence counter, the message length, the message
// elements, a CRC-16 over everything from the address to the last message byte, stop 0xFF.
// Inside the frame 0xFD, 0xFE and 0xFF are sent as FD 00, FD 01 and FD 02.

constexpr std::uint8_t kUecpStart = 0xFE;
constexpr std::uint8_t kUecpStop = 0xFF;
constexpr std::uint8_t kUecpEscape = 0xFD;
constexpr std::size_t kUecpMaxMessage = 255;
constexpr std::uint8_t kUecpAcknowledgement = 0x18;
// A frame with site 0 or encoder 0 in its address is for a group of encoders: each takes
// it, and none answers it.
constexpr bool UecpForGroup(std::uint16_t address) {
  return (address >> 6) == 0 || (address & 0x3F) == 0;
}

// The response codes of the acknowledgement message.
enum class UecpResponse : std::uint8_t {
  kOk = 0,
  kCrcError = 1,
  kMessageUnknown = 3,
  kDataSetNumberError = 4,
  kServiceNumberError = 5,
  kParameterOutOfRange = 6,
  kElementLengthError = 7,
  kFieldLengthError = 8,
  kEndMessageMissing = 10,
  kBufferOverflow = 11,
  kBadStuffing = 12,
  kUnexpectedEnd = 13,
};

// Polynomial 0x1021, initial value 0xFFFF, no reflection, result inverted ("123456789"
// gives 0xD64E).
std::uint16_t UecpCrc(std::span<const std::uint8_t> bytes);

// One frame read from a byte stream: ok, or the reason it was refused. address and
// sequence are 0 when the frame ended before them.
struct UecpFrameResult {
  UecpResponse response = UecpResponse::kOk;
  std::uint16_t address = 0;
  std::optional<std::uint8_t> sequence;
  std::vector<std::uint8_t> message;  // the message elements, when ok
};

// Splits a byte stream into frames. Bytes outside a frame are skipped; a frame holds at
// most 261 bytes once unstuffed, and a longer one is refused when its stop byte comes, so
// the reader never holds more than that.
class UecpFrameReader {
 public:
  using Sink = std::function<void(const UecpFrameResult&)>;

  void Feed(std::span<const std::uint8_t> bytes, const Sink& sink);
  // True between a frame's start byte and its end.
  bool InFrame() const { return in_frame_; }

 private:
  void Finish(const Sink& sink);

  bool in_frame_ = false;
  bool escape_ = false;
  std::optional<UecpResponse> fault_;
  std::vector<std::uint8_t> data_;
};

// A whole frame, stuffed and framed, ready to send.
std::vector<std::uint8_t> EncodeUecpFrame(std::uint16_t address, std::uint8_t sequence,
                                          std::span<const std::uint8_t> message);

// The acknowledgement message element: 0x18 and the code; a refusal also carries the
// sequence counter of the frame refused.
std::vector<std::uint8_t> UecpAcknowledgement(UecpResponse response, std::uint8_t sequence);

// Site 0 and encoder 0 mean every site and every encoder.
struct UecpAddress {
  std::uint16_t site = 0;    // 0 to 1023
  std::uint8_t encoder = 0;  // 0 to 63
};

// True when a frame with this address is meant for the encoder at ours; without ours,
// every frame is.
bool UecpAddressedTo(std::uint16_t address, const std::optional<UecpAddress>& ours);

}  // namespace serve

#pragma once

#include <cstdint>
#include <memory>
#include <string>

// The operating system's serial port calls that the serial port object makes: one source
// file per platform. Every call returns 0 or the system's error code, read at once after
// the call that failed, so no later call can overwrite it.
namespace transfer {

enum class CommFunction { kSetDtr, kClearDtr, kSetRts, kClearRts };

// How every port is set up: 1200 baud 8N1, binary, no flow control of any kind, DTR and
// RTS left to the line calls. Nothing is ever sent or read; the buffers, limits and
// characters are the ones the encoder's serial side has always been opened with.
struct CommSettings {
  static constexpr std::uint32_t kBaudRate = 1200;
  static constexpr std::uint8_t kDataBits = 8;
  static constexpr std::uint32_t kReadBufferBytes = 4096;
  static constexpr std::uint32_t kWriteBufferBytes = 2048;
  static constexpr std::uint16_t kXonLimit = 1024;
  static constexpr std::uint16_t kXoffLimit = 1024;
  static constexpr char kXonChar = 17;
  static constexpr char kXoffChar = 19;
  // Errors, a received character, the send queue empty.
  static constexpr std::uint32_t kEventMask = 0x85;
};

class SerialSystem {
 public:
  using Handle = std::intptr_t;

  virtual ~SerialSystem() = default;

  // The system's name for a port name: COMn is /dev/ttyS(n-1) on Linux and \\.\COMn on
  // Windows from COM10 on; any other name is a device path and stays as it is.
  virtual std::string DeviceFor(const std::string& name) = 0;

  // Opens the device for this process alone, without becoming its controlling terminal
  // and without waiting for a carrier.
  virtual int OpenDevice(const std::string& device, Handle& handle) = 0;
  // The line parameters of CommSettings.
  virtual int WriteDcb(Handle handle) = 0;
  // Driver queue sizes, read time-outs (a read returns at once) and the event mask; a
  // platform without such a setting succeeds.
  virtual int SetupBuffers(Handle handle) = 0;
  virtual int SetTimeouts(Handle handle) = 0;
  virtual int SetEventMask(Handle handle) = 0;
  // Changes one modem-control line.
  virtual int Escape(Handle handle, CommFunction function) = 0;
  // Closes the device and writes nothing back to it.
  virtual void CloseDevice(Handle handle) = 0;

  virtual bool IsNotFound(int code) = 0;
  // The system's text for an error code, UTF-8, with no line end.
  virtual std::string ErrorText(int code) = 0;
  // What to do about a port that did not open with this error code, as a short phrase.
  virtual std::string OpenFailureCure(int code) = 0;

  // True when the open failed because the name is no serial port at all (a regular file,
  // /dev/null): no cure of the port's set-up applies.
  virtual bool IsNotAPort(int /*code*/) { return false; }
};

std::unique_ptr<SerialSystem> MakePlatformSerialSystem();

}  // namespace transfer

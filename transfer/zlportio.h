#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>

#include "transfer/ddkint.h"

// zlportio: the process-wide port driver that writes an I/O port, either directly (the
// processor's OUT instruction, where the process may execute it) or through the kernel's
// port-I/O driver. It reports nothing: its only trace of failure is the two flags.
namespace transfer {

// Device type of the port-I/O kernel driver; its functions 1 to 4 give control codes
// 0x80FF0004 to 0x80FF0010.
constexpr std::uint32_t kPortDeviceType = 0x80FF;
constexpr std::uint32_t PortControlCode(std::uint32_t function) {
  return ddkint::CtlCode(kPortDeviceType, function, ddkint::kMethodBuffered,
                         ddkint::kFileAnyAccess);
}
constexpr std::uint32_t kReadPortCode = PortControlCode(1);  // unused, kept for completeness
constexpr std::uint32_t kWritePortCode = PortControlCode(2);
constexpr std::uint32_t kEnableDirectCode = PortControlCode(3);
constexpr std::uint32_t kDisableDirectCode = PortControlCode(4);

// Width codes of a port write.
constexpr std::uint32_t kWidthByte = 0;
constexpr std::uint32_t kWidthWord = 1;
constexpr std::uint32_t kWidthDword = 2;

// The input buffer of a write request: port, width code, value, each 32-bit little-endian.
constexpr std::size_t kPortWriteRequestSize = 12;
using PortWriteRequest = std::array<std::uint8_t, kPortWriteRequestSize>;
PortWriteRequest MakePortWriteRequest(std::uint32_t port, std::uint32_t width_code,
                                      std::uint32_t value);
struct PortWrite {
  std::uint32_t port;
  std::uint32_t width_code;
  std::uint32_t value;
};
PortWrite ReadPortWriteRequest(std::span<const std::uint8_t> request);

// Where the kernel driver's file lies. The system loads it with the kernel's rights, so it is
// taken only from a folder that no one but an administrator can write.
enum class DriverFile { kMissing, kUnsafe, kSafe };
struct DriverFileCheck {
  DriverFile state;
  std::string path;  // kSafe: the file's own path, links resolved, to register (UTF-8)
};

// Everything of the operating system the port driver uses. Error codes are the system's
// (0 for success).
class PortSystem {
 public:
  virtual ~PortSystem() = default;

  // False where a user process may execute OUT without asking (the old 9x family).
  virtual bool NeedsPortDriver() = 0;
  // Folder of the running executable in UTF-8, with or without a trailing separator.
  virtual std::string ExecutableFolder() = 0;
  // Opens the kernel driver's device and keeps it; 0 (or 183, already exists) on success.
  virtual std::uint32_t OpenDevice() = 0;
  // The path is UTF-8.
  virtual std::uint32_t CreatePortService(const std::string& path, const std::string& name) = 0;
  virtual std::uint32_t StartPortService(const std::string& name) = 0;
  virtual std::uint32_t StopPortService(const std::string& name) = 0;
  virtual std::uint32_t DeletePortService(const std::string& name) = 0;
  // Whether the driver file at path (UTF-8) exists and may be registered.
  virtual DriverFileCheck CheckDriverFile(const std::string& path) = 0;
  // Whether the service exists and is running (or starting, or stopping): then some
  // process uses the driver, and it is not this one's to remove.
  virtual bool PortServiceRunning(const std::string& name) = 0;
  // One device-control call with no output buffer; true when the device granted it.
  virtual bool DeviceControl(std::uint32_t code, std::span<const std::uint8_t> input) = 0;
  // The OUT instruction; the width code is 0, 1 or 2.
  virtual void PortOut(std::uint16_t port, std::uint32_t width_code, std::uint32_t value) = 0;
  // Whether a write would reach a port at this address: by OUT when direct, else through
  // the device.
  virtual bool PortReachable(std::uint16_t port, bool direct) = 0;
  // One sentence on what to check when the port at this address cannot be written.
  virtual std::string PortAccessHint(std::uint16_t port) = 0;
  // Reserves the port at this address for this process until the returned hold is gone,
  // waiting a short while for another program to let it go; an empty hold where there is
  // nothing to reserve. Throws PortAccessError.
  virtual std::shared_ptr<void> HoldPort(std::uint16_t port, bool direct) = 0;
};

// The operating system this program was built for.
std::unique_ptr<PortSystem> MakePlatformPortSystem();

constexpr const char* kPortServiceName = "zlportio";
constexpr std::size_t kMaxDriverPath = 255;

class PortDriver {
 public:
  explicit PortDriver(std::unique_ptr<PortSystem> system);

  // Once at process start: opens the kernel driver's device, installing and starting the
  // driver when it is not running yet.
  void StartPortAccess();
  // Once at process end: stops and removes the driver's service if this process started
  // it; a service found running belongs to the process that started it.
  void EndPortAccess();
  // Asks the kernel driver to let this process execute OUT on the port addresses.
  void SetDirectPortAccess(bool enable);

  void WritePort(std::uint32_t port, std::uint32_t width_code, std::uint32_t value);
  void WritePortByte(std::uint32_t port, std::uint8_t value) { WritePort(port, kWidthByte, value); }

  bool OpenPortDevice();
  // Installs and starts the driver's service after clearing a stopped leftover one. False,
  // touching nothing, when the service is running: then another process holds the device.
  // The service is registered only for a driver file in a folder only administrators can
  // write, and removed again when the driver does not start.
  bool InstallPortDriver();
  void RemovePortDriver();
  // The driver file beside the executable (UTF-8), cut to 255 characters.
  std::string DriverFilePath();

  bool DriverOpen() const { return driver_open_; }
  // Whether the last install found no driver file beside the program.
  bool DriverFileMissing() const { return driver_file_ == DriverFile::kMissing; }
  bool DirectAccess() const { return direct_access_; }

  // Whether a byte written to the port at this address can reach it at all.
  bool CanWritePort(std::uint16_t port);
  std::string PortAccessHint(std::uint16_t port);
  // The port for one send, reserved until the hold is dropped. Throws PortAccessError.
  std::shared_ptr<void> HoldPort(std::uint16_t port) {
    return system_->HoldPort(port, direct_access_);
  }

 private:
  std::unique_ptr<PortSystem> system_;
  bool driver_open_ = false;
  bool direct_access_ = false;
  bool started_service_ = false;  // this process's InstallPortDriver started the service
  std::optional<DriverFile> driver_file_;  // as the last install found it
};

// The port driver of this process, on the platform's system. StartPortAccess is the
// caller's to run, once, before the first use.
PortDriver& ProcessPortDriver();

// A parallel port's data register: the one register the encoder is wired to.
class DataRegister {
 public:
  virtual ~DataRegister() = default;
  virtual void Write(std::uint8_t value) = 0;
};

// The data register at an I/O address, written through the port driver; it holds the port
// (PortDriver::HoldPort) for its life. Throws PortAccessError.
std::unique_ptr<DataRegister> PortDriverRegister(PortDriver& driver, std::uint16_t address);

// A parallel port that cannot be reached, opened or written.
class PortAccessError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// The same, where the port driver's file is not beside the program: the PC most likely has
// no parallel port at all, and the front tells how to use a serial adapter instead.
class NoPortDriverError : public PortAccessError {
 public:
  using PortAccessError::PortAccessError;
};

// Parallel port devices of the system's own parallel port driver (Linux: /dev/parportN).
bool IsParallelDevicePath(const std::string& path);
// Opens, claims and returns the device's data register. Throws PortAccessError.
std::unique_ptr<DataRegister> OpenParallelDevice(const std::string& path);
#ifndef _WIN32
constexpr const char* kParportProcRoot = "/proc/sys/dev/parport";
constexpr const char* kDeviceRoot = "/dev";
// The /dev/parportN whose base address (first number of
// PROC_ROOT/parportN/base-addr) is the address. Linux only: Windows has no such devices.
std::optional<std::string> FindParallelDevice(std::uint16_t address,
                                              const std::string& proc_root = kParportProcRoot,
                                              const std::string& dev_root = kDeviceRoot);
// The Linux port system, looking ports up under these two folders.
std::unique_ptr<PortSystem> MakeLinuxPortSystem(const std::string& proc_root = kParportProcRoot,
                                                const std::string& dev_root = kDeviceRoot);
#endif

}  // namespace transfer

#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "transfer/serial_system.h"

namespace transfer {

// An error of the serial port object; the message carries the system's error code and
// text where there is one.
class EVaCommError : public std::runtime_error {
 public:
  explicit EVaCommError(const std::string& message, int error_code = 0)
      : std::runtime_error(message), error_code_(error_code) {}
  int ErrorCode() const { return error_code_; }

 private:
  int error_code_;
};

// The serial port object as the port choice and the serial line driver use it: a serial
// port whose two modem-control outputs, DTR and RTS, are driven; no byte is ever sent.
class TVaCustomComm {
 public:
  virtual ~TVaCustomComm() = default;

  int PortNum() const { return port_num_; }
  // Only while the port is closed.
  void SetPortNum(int port_num) { port_num_ = port_num; }
  // The device name pattern, "COM%d" by default; a name without "%d" (a device path such
  // as /dev/ttyUSB0) names the device itself.
  const std::string& DeviceName() const { return device_name_; }
  void SetDeviceName(std::string pattern) { device_name_ = std::move(pattern); }
  // DeviceName formatted with PortNum: "COM1", "COM2", or the path.
  std::string PortName() const;

  // Opens the port for exclusive use, configures it and clears both lines. Throws
  // EVaCommError and is then closed.
  virtual void Open() = 0;
  // Closes the port if it is open. Raises nothing.
  virtual void Close() = 0;
  virtual bool Active() const = 0;
  // Each changes its line at once; nothing happens while the port is closed. Throw
  // EVaCommError when the system refuses.
  virtual void SetDtrLine(bool level) = 0;
  virtual void SetRtsLine(bool level) = 0;

 private:
  int port_num_ = 1;
  std::string device_name_ = "COM%d";
};

// The serial port object on the operating system's own serial API: opened for exclusive
// use at 1200 baud 8N1 with no flow control, DTR and RTS left to SetDtrLine and SetRtsLine.
// Neither opening nor closing ever raises a line: both are cleared right after opening and
// again before closing, and nothing of the port's earlier state is written back. On Linux
// COM1 and COM2 are /dev/ttyS0 and /dev/ttyS1 unless a port link says otherwise.
class TVaComm : public TVaCustomComm {
 public:
  explicit TVaComm(std::unique_ptr<SerialSystem> system = MakePlatformSerialSystem());
  ~TVaComm() override;

  void Open() override;
  void Close() override;
  bool Active() const override;
  void SetDtrLine(bool level) override;
  void SetRtsLine(bool level) override;

  // The name the system knows the device by ("/dev/ttyS0" for COM1 on Linux), or the
  // port link for COM1 or COM2 when there is one.
  std::string SystemDeviceName() const;
  // The folder of the port links: an entry "com1" or "com2" there (a symbolic link to a
  // serial device) names the device for that port. Empty: no links.
  void SetPortLinkFolder(std::filesystem::path folder) { link_folder_ = std::move(folder); }
  SerialSystem& System() { return *system_; }

 private:
  void SetLine(CommFunction function);

  std::unique_ptr<SerialSystem> system_;
  std::optional<SerialSystem::Handle> handle_;
  std::filesystem::path link_folder_;
};

// The port link for "COM1" or "COM2" (any case) in folder: folder/com1 or folder/com2 when
// that entry exists, even as a link to nothing; nullopt otherwise.
std::optional<std::filesystem::path> PortLink(const std::filesystem::path& folder,
                                              const std::string& port_name);

}  // namespace transfer

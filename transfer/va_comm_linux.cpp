#include <sys/ioctl.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "transfer/va_comm_platform.h"

namespace transfer::comm_platform {

int EscapeComm(CommHandle handle, CommFunction function) {
  const bool dtr = function == CommFunction::kSetDtr || function == CommFunction::kClearDtr;
  const bool set = function == CommFunction::kSetDtr || function == CommFunction::kSetRts;
  int bits = dtr ? TIOCM_DTR : TIOCM_RTS;
  return ::ioctl(handle, set ? TIOCMBIS : TIOCMBIC, &bits) == 0 ? 0 : errno;
}

void ClearLastError() {
  errno = 0;
}
int LastError() {
  return errno;
}
std::string ErrorText(int code) {
  return std::strerror(code);
}
bool IsNotFound(int code) {
  return code == ENOENT;
}

int OpenErrorCode(QSerialPort::SerialPortError error, int last_error) {
  if (error == QSerialPort::DeviceNotFoundError) return ENOENT;
  if (error == QSerialPort::PermissionError) {
    // Anything else means the lock file of another program holds the port.
    const bool exact = last_error == EACCES || last_error == EPERM || last_error == EBUSY;
    return exact ? last_error : EBUSY;
  }
  return last_error == ENOENT ? EIO : last_error;
}

std::string OpenFailureCure(int code) {
  if (code == EACCES || code == EPERM) {
    return "join the dialout group (sudo usermod -aG dialout $USER, then log in again)";
  }
  if (code == ENOENT || code == ENODEV || code == ENXIO) {
    return "check the device name (ls /dev/ttyS* /dev/ttyUSB*) and that the adapter is plugged in";
  }
  return "close any other program that uses the port";
}

std::string SystemDeviceName(const std::string& name) {
  // "COMn", any case, n from 1 without leading zeros.
  const bool com = name.size() > 3 && std::tolower(name[0]) == 'c' &&
                   std::tolower(name[1]) == 'o' && std::tolower(name[2]) == 'm' && name[3] != '0';
  if (!com || name.size() > 6) return name;
  int number = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return name;
    number = number * 10 + (name[i] - '0');
  }
  return "/dev/ttyS" + std::to_string(number - 1);
}

}  // namespace transfer::comm_platform

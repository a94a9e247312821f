// Linux: a tty device driven through termios and the modem-control ioctls.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "transfer/serial_system.h"

namespace transfer {
namespace {

static_assert(CommSettings::kBaudRate == 1200 && CommSettings::kDataBits == 8);

int Result(int status) {
  return status == 0 ? 0 : errno;
}

class LinuxSerialSystem : public SerialSystem {
 public:
  std::string DeviceFor(const std::string& name) override {
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

  int OpenDevice(const std::string& device, Handle& handle) override {
    // Non-blocking, so that a port without carrier opens at once.
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    int error = 0;
    if (!::isatty(fd)) {
      error = ENOTTY;
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      // The lock keeps out even a privileged process that TIOCEXCL would let in.
      error = errno == EWOULDBLOCK ? EBUSY : errno;
    } else if (::ioctl(fd, TIOCEXCL) != 0) {
      error = errno;
    }
    if (error != 0) {
      ::close(fd);
      return error;
    }
    handle = fd;
    return 0;
  }

  int WriteDcb(Handle handle) override {
    const int fd = static_cast<int>(handle);
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return errno;
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | CSTOPB | PARENB | CRTSCTS | HUPCL);
    // Without HUPCL, closing the port leaves DTR and RTS alone.
    tio.c_cflag |= CS8 | CREAD | CLOCAL;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, B1200) != 0 || ::cfsetospeed(&tio, B1200) != 0) return errno;
    return Result(::tcsetattr(fd, TCSANOW, &tio));
  }

  // The kernel sizes its own queues, read time-outs are VMIN and VTIME above, and nothing
  // here waits for events.
  int SetupBuffers(Handle) override { return 0; }
  int SetTimeouts(Handle) override { return 0; }
  int SetEventMask(Handle) override { return 0; }

  int Escape(Handle handle, CommFunction function) override {
    const bool dtr = function == CommFunction::kSetDtr || function == CommFunction::kClearDtr;
    const bool set = function == CommFunction::kSetDtr || function == CommFunction::kSetRts;
    int bits = dtr ? TIOCM_DTR : TIOCM_RTS;
    return Result(::ioctl(static_cast<int>(handle), set ? TIOCMBIS : TIOCMBIC, &bits));
  }

  void CloseDevice(Handle handle) override {
    const int fd = static_cast<int>(handle);
    (void)::ioctl(fd, TIOCNXCL);
    ::close(fd);
  }

  bool IsNotFound(int code) override { return code == ENOENT; }

  std::string ErrorText(int code) override { return std::strerror(code); }

  bool IsNotAPort(int code) override { return code == ENOTTY; }

  std::string OpenFailureCure(int code) override {
    if (code == EACCES || code == EPERM) {
      return "join the dialout group (sudo usermod -aG dialout $USER, then log in again)";
    }
    if (code == ENOENT || code == ENODEV || code == ENXIO) {
      return "check the device name (ls /dev/ttyS* /dev/ttyUSB*) and that the adapter is "
             "plugged in";
    }
    if (code == ENOTTY || code == EISDIR) return "name a serial port device such as /dev/ttyUSB0";
    if (code == EBUSY) return "close any other program that uses the port";
    return "check that the device is a serial port and that the adapter is plugged in";
  }
};

}  // namespace

std::unique_ptr<SerialSystem> MakePlatformSerialSystem() {
  return std::make_unique<LinuxSerialSystem>();
}

}  // namespace transfer

// Linux: the kernel's parallel port driver (parport with ppdev) plays the part of the
// port-I/O kernel driver. Writes go to the /dev/parportN at the requested base address;
// direct access is ioperm and OUT, granted only to privileged processes.
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "transfer/zlportio.h"

#if defined(__x86_64__) || defined(__i386__)
#include <sys/io.h>
#define RDSQ7_HAVE_PORT_IO 1
#endif

namespace transfer {
namespace {

// The two parallel port addresses and the width of their register blocks (data, status,
// control).
constexpr std::array<std::uint16_t, 2> kParallelBases = {0x378, 0x278};
constexpr unsigned long kParallelRegisters = 3;
constexpr unsigned kParportMajor = 99;  // ppdev's character device major number

constexpr const char* kModuleHint =
    "check that the parport_pc and ppdev modules are loaded (sudo modprobe parport_pc ppdev)";
constexpr const char* kGroupHint =
    "join the lp group (sudo usermod -aG lp $USER, then log in again)";

struct OpenResult {
  int fd = -1;
  int error = 0;
};

// Opens and claims a parallel port device for this process.
OpenResult OpenAndClaim(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return {-1, errno};
  if (::ioctl(fd, PPCLAIM) != 0) {
    const int error = errno;
    ::close(fd);
    return {-1, error};
  }
  return {fd, 0};
}

std::string CureFor(int error) {
  return error == EACCES || error == EPERM ? kGroupHint : kModuleHint;
}

class ClaimedDevice : public DataRegister {
 public:
  ClaimedDevice(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  ~ClaimedDevice() override {
    ::ioctl(fd_, PPRELEASE);
    ::close(fd_);
  }
  void Write(std::uint8_t value) override {
    unsigned char byte = value;
    if (::ioctl(fd_, PPWDATA, &byte) != 0) {
      throw PortAccessError("Can't write parallel port " + path_ + " (" + std::strerror(errno) +
                            ").");
    }
  }

 private:
  std::string path_;
  int fd_;
};

class LinuxPortSystem : public PortSystem {
 public:
  ~LinuxPortSystem() override {
    for (auto& [address, port] : ports_) {
      if (port.fd >= 0) ::close(port.fd);
    }
  }

  bool NeedsPortDriver() override { return true; }

  std::string ExecutableFolder() override {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
  }

  // The "device" is open when at least one parallel port can be opened and claimed.
  std::uint32_t OpenDevice() override {
    last_open_error_ = ENODEV;
    for (std::uint16_t base : kParallelBases) {
      if (Claimed(base) >= 0) return last_open_error_ = 0;
      if (ports_[base].error != ENODEV) last_open_error_ = ports_[base].error;
    }
    return last_open_error_;
  }

  // There is no service to manage: the kernel's own driver is loaded by the system.
  std::uint32_t CreatePortService(const std::string&, const std::string&) override { return 0; }
  std::uint32_t StartPortService(const std::string&) override { return last_open_error_; }
  std::uint32_t StopPortService(const std::string&) override { return 0; }
  std::uint32_t DeletePortService(const std::string&) override { return 0; }
  bool PortServiceRunning(const std::string&) override { return false; }

  bool DeviceControl(std::uint32_t code, std::span<const std::uint8_t> input) override {
    if (code == kWritePortCode) {
      const PortWrite write = ReadPortWriteRequest(input);
      if (write.width_code != kWidthByte || write.port > 0xFFFF) return false;
      const int fd = Claimed(static_cast<std::uint16_t>(write.port));
      unsigned char byte = write.value & 0xFF;
      return fd >= 0 && ::ioctl(fd, PPWDATA, &byte) == 0;
    }
    if (code == kEnableDirectCode || code == kDisableDirectCode) {
#ifdef RDSQ7_HAVE_PORT_IO
      const int turn_on = code == kEnableDirectCode ? 1 : 0;
      bool granted = true;
      for (std::uint16_t base : kParallelBases) {
        granted = ::ioperm(base, kParallelRegisters, turn_on) == 0 && granted;
      }
      return granted;
#else
      return false;
#endif
    }
    return false;
  }

  void PortOut(std::uint16_t port, std::uint32_t width_code, std::uint32_t value) override {
#ifdef RDSQ7_HAVE_PORT_IO
    switch (width_code) {
      case kWidthByte:
        ::outb(static_cast<unsigned char>(value), port);
        break;
      case kWidthWord:
        ::outw(static_cast<unsigned short>(value), port);
        break;
      case kWidthDword:
        ::outl(value, port);
        break;
      default:
        break;
    }
#else
    (void)port, (void)width_code, (void)value;
#endif
  }

  // Even with OUT granted, a port the kernel has not found at that address is no port: a
  // PC without one would otherwise take a send silently.
  bool PortReachable(std::uint16_t port, bool direct) override {
    return direct ? FindParallelDevice(port).has_value() : Claimed(port) >= 0;
  }

  std::string PortAccessHint(std::uint16_t port) override {
    Claimed(port);
    const Port& p = ports_[port];
    if (p.path.empty()) {
      char address[8];
      std::snprintf(address, sizeof address, "0x%X", port);
      return std::string("No /dev/parportN has the base address ") + address + ": " + kModuleHint +
             ".";
    }
    return p.path + ": " + std::strerror(p.error) + "; " + CureFor(p.error) + ".";
  }

 private:
  struct Port {
    std::string path;
    int fd = -1;
    int error = ENODEV;
  };

  // The claimed device of the port at this base address, or -1; a failure is retried on
  // the next call, so a module loaded or a group joined later is picked up.
  int Claimed(std::uint16_t base) {
    Port& port = ports_[base];
    if (port.fd >= 0) return port.fd;
    const std::optional<std::string> path = FindParallelDevice(base);
    if (!path) {
      port = Port{};
      return -1;
    }
    port.path = *path;
    const OpenResult result = OpenAndClaim(*path);
    port.fd = result.fd;
    port.error = result.error;
    return port.fd;
  }

  std::map<std::uint16_t, Port> ports_;
  std::uint32_t last_open_error_ = ENODEV;
};

}  // namespace

std::unique_ptr<PortSystem> MakePlatformPortSystem() {
  return std::make_unique<LinuxPortSystem>();
}

bool IsParallelDevicePath(const std::string& path) {
  if (path.rfind("/dev/parport", 0) == 0) return true;
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
         major(st.st_rdev) == kParportMajor;
}

std::unique_ptr<DataRegister> OpenParallelDevice(const std::string& path) {
  const OpenResult result = OpenAndClaim(path);
  if (result.fd < 0) {
    throw PortAccessError("Can't access parallel port " + path + " (" +
                          std::strerror(result.error) + "): " + CureFor(result.error) + ".");
  }
  return std::make_unique<ClaimedDevice>(path, result.fd);
}

std::optional<std::string> FindParallelDevice(std::uint16_t address, const std::string& proc_root,
                                              const std::string& dev_root) {
  namespace fs = std::filesystem;
  std::error_code ec;
  for (const fs::directory_entry& entry : fs::directory_iterator(proc_root, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("parport", 0) != 0 || name.size() == 7) continue;
    std::ifstream base_file(entry.path() / "base-addr");
    long base = -1;
    if (base_file >> base && base == address) return (fs::path(dev_root) / name).string();
  }
  return std::nullopt;
}

}  // namespace transfer

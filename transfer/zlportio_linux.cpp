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
#include <mutex>

#include "transfer/parallel_line_driver.h"
#include "transfer/parport_claim.h"
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

std::string CureFor(int error) {
  return error == EACCES || error == EPERM ? kGroupHint : kModuleHint;
}

// An open /dev/parportN that this process has claimed; released and closed with it.
class Claim {
 public:
  explicit Claim(int fd) : fd_(fd) {}
  ~Claim() {
    ::ioctl(fd_, PPRELEASE);
    ::close(fd_);
  }
  Claim(const Claim&) = delete;
  Claim& operator=(const Claim&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// The device opened, or -1 with the open's error.
int OpenDeviceFile(const std::string& path, int& error) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  error = fd < 0 ? errno : 0;
  return fd;
}

// Claims the open device, waiting at most kParallelClaimWaitMs for another program to let
// it go; the claim owns fd from here on. Throws PortAccessError naming port_name.
std::shared_ptr<Claim> ClaimOpenDevice(int fd, const std::string& port_name) {
  try {
    ClaimWithin([fd] { return ::ioctl(fd, PPCLAIM) == 0 ? 0 : errno; }, port_name);
  } catch (...) {
    ::close(fd);
    throw;
  }
  return std::make_shared<Claim>(fd);
}

class ClaimedDevice : public DataRegister {
 public:
  ClaimedDevice(std::string path, std::shared_ptr<Claim> claim)
      : path_(std::move(path)), claim_(std::move(claim)) {}
  void Write(std::uint8_t value) override {
    unsigned char byte = value;
    if (::ioctl(claim_->fd(), PPWDATA, &byte) != 0) {
      throw PortAccessError("Can't write parallel port " + path_ + " (" + std::strerror(errno) +
                            ").");
    }
  }

 private:
  std::string path_;
  std::shared_ptr<Claim> claim_;
};

// Parallel ports are looked up, opened and claimed for each send and let go right after
// it: a port held from start-up would make every other program's claim (a print job, a
// send from the command line) wait, and a port that turns up later would never be used.
class LinuxPortSystem : public PortSystem {
 public:
  LinuxPortSystem(std::string proc_root, std::string dev_root)
      : proc_root_(std::move(proc_root)), dev_root_(std::move(dev_root)) {}

  bool NeedsPortDriver() override { return true; }

  std::string ExecutableFolder() override {
    std::error_code ec;
    return std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().string();
  }

  // The kernel's parport layer is always there; what a send needs is checked per send.
  std::uint32_t OpenDevice() override { return 0; }

  // There is no service to manage: the kernel's own driver is loaded by the system.
  std::uint32_t CreatePortService(const std::string&, const std::string&) override { return 0; }
  std::uint32_t StartPortService(const std::string&) override { return 0; }
  std::uint32_t StopPortService(const std::string&) override { return 0; }
  std::uint32_t DeletePortService(const std::string&) override { return 0; }
  DriverFileCheck CheckDriverFile(const std::string&) override {
    return {DriverFile::kMissing, {}};
  }
  bool PortServiceRunning(const std::string&) override { return false; }

  bool DeviceControl(std::uint32_t code, std::span<const std::uint8_t> input) override {
    if (code == kWritePortCode) {
      const PortWrite write = ReadPortWriteRequest(input);
      if (write.width_code != kWidthByte || write.port > 0xFFFF) return false;
      const std::shared_ptr<Claim> claim = Held(static_cast<std::uint16_t>(write.port));
      unsigned char byte = write.value & 0xFF;
      return claim && ::ioctl(claim->fd(), PPWDATA, &byte) == 0;
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
  // PC without one would otherwise take a send silently. Without OUT the device must open.
  bool PortReachable(std::uint16_t port, bool direct) override {
    const std::optional<std::string> path = Find(port);
    if (!path || direct) return path.has_value();
    int error = 0;
    const int fd = OpenDeviceFile(*path, error);
    if (fd < 0) return false;
    ::close(fd);
    return true;
  }

  std::string PortAccessHint(std::uint16_t port) override {
    const std::optional<std::string> path = Find(port);
    if (!path) {
      char address[8];
      std::snprintf(address, sizeof address, "0x%X", port);
      return std::string("No /dev/parportN has the base address ") + address + ": " + kModuleHint +
             ".";
    }
    int error = 0;
    const int fd = OpenDeviceFile(*path, error);
    if (fd >= 0) ::close(fd);
    return *path + ": " + std::strerror(error) + "; " + CureFor(error) + ".";
  }

  // With OUT granted a port whose device does not open is written all the same, unclaimed.
  std::shared_ptr<void> HoldPort(std::uint16_t port, bool direct) override {
    if (std::shared_ptr<Claim> claim = Held(port)) return claim;
    const std::string name = ParallelPortName(port);
    const std::optional<std::string> path = Find(port);
    int error = ENODEV;
    const int fd = path ? OpenDeviceFile(*path, error) : -1;
    if (fd < 0) {
      if (direct) return nullptr;
      throw PortAccessError("Can't access parallel port " + name + ". " + PortAccessHint(port));
    }
    std::shared_ptr<Claim> claim = ClaimOpenDevice(fd, name);
    std::lock_guard lock(mutex_);
    held_[port] = claim;
    return claim;
  }

 private:
  std::optional<std::string> Find(std::uint16_t port) {
    return FindParallelDevice(port, proc_root_, dev_root_);
  }

  std::shared_ptr<Claim> Held(std::uint16_t port) {
    std::lock_guard lock(mutex_);
    const auto found = held_.find(port);
    return found == held_.end() ? nullptr : found->second.lock();
  }

  const std::string proc_root_;
  const std::string dev_root_;
  std::mutex mutex_;
  // The claims of sends under way; each ends with the last data register holding it.
  std::map<std::uint16_t, std::weak_ptr<Claim>> held_;
};

}  // namespace

std::unique_ptr<PortSystem> MakePlatformPortSystem() {
  return MakeLinuxPortSystem();
}

std::unique_ptr<PortSystem> MakeLinuxPortSystem(const std::string& proc_root,
                                                const std::string& dev_root) {
  return std::make_unique<LinuxPortSystem>(proc_root, dev_root);
}

bool IsParallelDevicePath(const std::string& path) {
  if (path.rfind("/dev/parport", 0) == 0) return true;
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
         major(st.st_rdev) == kParportMajor;
}

std::unique_ptr<DataRegister> OpenParallelDevice(const std::string& path) {
  int error = 0;
  const int fd = OpenDeviceFile(path, error);
  if (fd < 0) {
    throw PortAccessError("Can't access parallel port " + path + " (" + std::strerror(error) +
                          "): " + CureFor(error) + ".");
  }
  return std::make_unique<ClaimedDevice>(path, ClaimOpenDevice(fd, path));
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

#include "cli/ports_command.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "appcore/file_folders.h"
#include "cli/port_list.h"
#include "cmdline/quote.h"
#include "cmdline/usage_error.h"
#include "transfer/va_comm.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace cli {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
constexpr const char* kPortsHelp =
    "Usage: rdsq7-cli ports\n"
    "Lists the serial and parallel ports Windows has. The window drives COM1 and COM2;\n"
    "to make a USB-serial adapter one of them, give it that number in Device Manager\n"
    "(the adapter's Properties, Port Settings, Advanced, COM Port Number). 'rdsq7-cli\n"
    "send --port' takes any of the ports listed.\n"
    "  -h, --help            show this text\n";
#else
constexpr const char* kPortsHelp =
    "Usage: rdsq7-cli ports [options]\n"
    "Lists the serial and parallel port devices found, with their stable names, and the\n"
    "devices the window's COM1 and COM2 drive.\n"
    "  --com1 DEVICE         let COM1 drive the serial DEVICE (e.g. /dev/ttyUSB0 or\n"
    "                        /dev/serial/by-id/usb-...); 'default' makes it /dev/ttyS0\n"
    "                        again\n"
    "  --com2 DEVICE         the same for COM2 (default /dev/ttyS1)\n"
    "  -h, --help            show this text\n";
#endif

#ifndef _WIN32
// Kernel names of serial devices that may stand for a real port or adapter.
constexpr std::array<const char*, 4> kSerialPrefixes = {"ttyS", "ttyUSB", "ttyACM", "ttyAMA"};

fs::path LinkFolder() {
  const auto folder = app::UserFolder(app::SystemEnvironment());
  if (!folder) throw std::runtime_error("ports: no HOME to keep the port links in");
  return *folder;
}

// A 8250 port the kernel reserves without finding hardware has type 0.
bool IsRealSerialPort(const fs::path& sys_entry) {
  std::error_code error;
  if (!fs::exists(sys_entry / "device", error)) return false;  // a virtual terminal
  std::ifstream type(sys_entry / "type");
  int value = -1;
  return !(type >> value) || value != 0;
}

// Every device with the stable names (/dev/serial/by-id) that lead to it.
std::map<std::string, std::vector<std::string>> StableNames() {
  std::map<std::string, std::vector<std::string>> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/dev/serial/by-id", error)) {
    const fs::path device = fs::weakly_canonical(entry.path(), error);
    if (!error) names[device.string()].push_back(entry.path().string());
  }
  return names;
}

std::vector<std::string> SerialDevices() {
  std::vector<std::string> devices;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/sys/class/tty", error)) {
    const std::string name = entry.path().filename().string();
    const bool serial = std::any_of(kSerialPrefixes.begin(), kSerialPrefixes.end(),
                                    [&name](const char* p) { return name.rfind(p, 0) == 0; });
    if (serial && IsRealSerialPort(entry.path())) devices.push_back("/dev/" + name);
  }
  std::sort(devices.begin(), devices.end());
  return devices;
}

std::vector<std::string> ParallelDevices() {
  std::vector<std::string> devices;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator("/dev", error)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("parport", 0) == 0) devices.push_back(entry.path().string());
  }
  std::sort(devices.begin(), devices.end());
  return devices;
}

// Why DEVICE cannot be a COM port, or nothing when it is a serial device. A link to a file or
// a folder would only fail at the next send, with the window falling back to LPT1.
std::optional<std::string> NotASerialDevice(const std::string& device) {
  const std::string path = cmdline::PathArgument(device).string();
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return std::string(std::strerror(errno));
  if (!S_ISCHR(info.st_mode)) {
    if (S_ISDIR(info.st_mode)) return std::string("it is a folder");
    if (S_ISREG(info.st_mode)) return std::string("it is a regular file");
    return std::string("it is no character device");
  }
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    std::string why = std::string("it cannot be opened (") + std::strerror(error) + ")";
    if (error == EACCES) why += "; join the dialout group and log in again";
    return why;
  }
  const bool tty = ::isatty(fd) == 1;
  // The kernel raises DTR and RTS as a tty opens; lower them at once, as a send does.
  int lines = TIOCM_DTR | TIOCM_RTS;
  if (tty) ::ioctl(fd, TIOCMBIC, &lines);
  ::close(fd);
  if (!tty) return std::string("it is a device but no terminal line");
  return std::nullopt;
}

void SetLink(const fs::path& folder, int number, const std::string& device) {
  const fs::path link = folder / ("com" + std::to_string(number));
  std::error_code error;
  const fs::file_status status = fs::symlink_status(link, error);
  if (fs::exists(status) && !fs::is_symlink(status)) {
    throw std::runtime_error("ports: " + cmdline::QuotePath(link.string()) +
                             " is not a port link; move it away first");
  }
  if (device != "default") {
    const fs::path target = fs::absolute(cmdline::PathArgument(device));
    fs::create_directories(folder);
    fs::remove(link);
    fs::create_symlink(target, link);
  } else {
    fs::remove(link);
  }
}

void ListPorts(std::ostream& out, const fs::path& folder) {
  const auto stable = StableNames();
  out << "Serial ports:\n";
  for (const std::string& device : SerialDevices()) {
    out << "  " << device;
    if (const auto found = stable.find(device); found != stable.end()) {
      for (const std::string& name : found->second) out << "  " << name;
    }
    out << '\n';
  }
  out << "Parallel ports:\n";
  for (const std::string& device : ParallelDevices()) out << "  " << device << '\n';
  transfer::TVaComm comm;
  comm.SetPortLinkFolder(folder);
  for (int number = 1; number <= 2; ++number) {
    comm.SetPortNum(number);
    const auto link = transfer::PortLink(folder, comm.PortName());
    out << comm.PortName() << ": ";
    if (link) {
      std::error_code error;
      const fs::path target = fs::read_symlink(*link, error);
      out << (error ? link->string() : target.string()) << " (" << link->string() << ")\n";
    } else {
      out << comm.SystemDeviceName() << " (default)\n";
    }
  }
}

#endif

}  // namespace

int PortsCommand(cmdline::Arguments& args, std::ostream& out) {
  std::map<int, std::string> changes;
  while (!args.AtEnd()) {
    const std::string option = args.NextOption();
    if (option == "--com1" || option == "--com2") {
      changes[option == "--com1" ? 1 : 2] = args.Value();
    } else if (option == "--help") {
      args.NoValue();
      out << kPortsHelp;
      return 0;
    } else {
      throw cmdline::UsageError("unknown option " + cmdline::Quote(option) + " for ports");
    }
  }
#ifdef _WIN32
  if (!changes.empty()) {
    throw std::runtime_error(
        "ports: on Windows, Device Manager gives an adapter its COM number (Port Settings, "
        "Advanced, COM Port Number)");
  }
  ListWindowsPorts(out);
  return 0;
#else
  for (const auto& [number, device] : changes) {
    if (device == "default") continue;
    if (const auto why = NotASerialDevice(device)) {
      throw cmdline::UsageError("option --com" + std::to_string(number) + ": " +
                                cmdline::QuotePath(device) + " is not a serial device: " + *why);
    }
  }
  const fs::path folder = LinkFolder();
  for (const auto& [number, device] : changes) SetLink(folder, number, device);
  ListPorts(out, folder);
  return 0;
#endif
}

}  // namespace cli

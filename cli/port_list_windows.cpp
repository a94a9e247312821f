#include "transfer/win_text.h"

// After windows.h, which win_text.h brings; initguid.h makes devguid.h define the class.
#include <devguid.h>
#include <initguid.h>
#include <setupapi.h>

#include <map>

#include "cli/port_list.h"

namespace cli {
namespace {

using transfer::win::Narrow;

// Every name the system's device namespace holds (COM1, LPT1, NUL, a drive's letter...).
std::vector<std::string> DeviceNames() {
  std::vector<wchar_t> buffer(16 * 1024);
  while (::QueryDosDeviceW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size())) == 0) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || buffer.size() > 4 * 1024 * 1024) {
      return {};
    }
    buffer.resize(buffer.size() * 2);
  }
  std::vector<std::string> names;
  for (const wchar_t* name = buffer.data(); *name != L'\0'; name += std::wcslen(name) + 1) {
    names.push_back(Narrow(name));
  }
  return names;
}

// The serial ports the drivers announce (a USB adapter while it is plugged in).
std::vector<std::string> AnnouncedSerialPorts() {
  std::vector<std::string> names;
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return names;
  }
  for (DWORD index = 0;; ++index) {
    wchar_t value_name[256] = {}, data[64] = {};
    DWORD name_length = 255, data_size = sizeof data - sizeof(wchar_t), type = 0;
    const LONG read = ::RegEnumValueW(key, index, value_name, &name_length, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data), &data_size);
    if (read == ERROR_NO_MORE_ITEMS) break;
    if (read == ERROR_SUCCESS && type == REG_SZ) names.push_back(Narrow(data));
  }
  ::RegCloseKey(key);
  return names;
}

// The name Device Manager shows for each port ("USB Serial Port (COM3)"), by port name.
std::map<std::string, std::string> FriendlyNames() {
  std::map<std::string, std::string> names;
  const HDEVINFO set =
      ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return names;
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof device;
  for (DWORD index = 0; ::SetupDiEnumDeviceInfo(set, index, &device); ++index) {
    const HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    wchar_t port[64] = {};
    DWORD size = sizeof port - sizeof(wchar_t), type = 0;
    const LONG read =
        ::RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(port), &size);
    ::RegCloseKey(key);
    wchar_t friendly[256] = {};
    if (read == ERROR_SUCCESS && type == REG_SZ &&
        ::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, nullptr,
                                            reinterpret_cast<BYTE*>(friendly),
                                            sizeof friendly - sizeof(wchar_t), nullptr)) {
      const std::vector<std::string> name = PortNames({Narrow(port)}, "COM");
      const std::vector<std::string> lpt = PortNames({Narrow(port)}, "LPT");
      for (const std::string& n : name.empty() ? lpt : name) names[n] = Narrow(friendly);
    }
  }
  ::SetupDiDestroyDeviceInfoList(set);
  return names;
}

}  // namespace

void ListWindowsPorts(std::ostream& out) {
  std::vector<std::string> devices = DeviceNames();
  const std::vector<std::string> announced = AnnouncedSerialPorts();
  devices.insert(devices.end(), announced.begin(), announced.end());
  const std::map<std::string, std::string> friendly = FriendlyNames();
  const auto list = [&](const char* heading, const char* prefix, const char* none) {
    out << heading << '\n';
    const std::vector<std::string> ports = PortNames(devices, prefix);
    for (const std::string& port : ports) {
      out << "  " << port;
      if (const auto found = friendly.find(port); found != friendly.end()) {
        out << "  " << found->second;
      }
      out << '\n';
    }
    if (ports.empty()) out << "  " << none << '\n';
  };
  list("Serial ports:", "COM", "none");
  list("Parallel ports:", "LPT",
       "none: choose COM1 or COM2 and wire the encoder to a serial port or USB adapter");
  out << "COM1: \\\\.\\COM1\nCOM2: \\\\.\\COM2\n"
         "An adapter with another number becomes COM1 or COM2 in Device Manager: its "
         "Properties,\nPort Settings, Advanced, COM Port Number.\n";
}

}  // namespace cli

// Windows: every supported Windows is of the NT family, so port access goes through the
// port-I/O kernel driver, installed as a service from the driver file beside the installed
// program.
#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
// After windows.h.
#include <shlobj.h>

#if defined(_M_IX86) || defined(_M_X64) || defined(__i386__) || defined(__x86_64__)
#include <intrin.h>
#define RDSQ7_HAVE_PORT_IO 1
#endif

#include <string>
#include <vector>

#include "transfer/win_text.h"
#include "transfer/zlportio.h"

namespace transfer {
namespace {

constexpr const char* kDeviceName = "\\\\.\\ZLPORTIO";
// The longest path Windows takes with the \\?\ prefix, in UTF-16 units.
constexpr DWORD kLongestPath = 32768;

// Runs one call on a service of the local machine's active database; 0 or the error code
// of the first step that failed. Every handle opened is closed on every path.
template <typename Call>
std::uint32_t WithService(const std::string& name, DWORD manager_access, DWORD service_access,
                          Call call) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, manager_access);
  if (manager == nullptr) return GetLastError();
  SC_HANDLE service = OpenServiceW(manager, win::Widen(name).c_str(), service_access);
  if (service == nullptr) {
    const DWORD error = GetLastError();
    CloseServiceHandle(manager);
    return error;
  }
  const DWORD error = call(service) ? 0 : GetLastError();
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return error;
}

// The path the system finally reaches through every link and junction (\\?\C:\...), of a
// file or of a folder as asked; empty when there is none such.
std::wstring FinalPath(const std::wstring& path, bool folder) {
  HANDLE handle =
      CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return {};
  std::wstring final(kLongestPath, L'\0');
  const DWORD length = GetFinalPathNameByHandleW(handle, final.data(), kLongestPath,
                                                 FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  BY_HANDLE_FILE_INFORMATION info{};
  const bool is_folder = GetFileInformationByHandle(handle, &info) != 0 &&
                         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  CloseHandle(handle);
  if (length == 0 || length >= kLongestPath || is_folder != folder) return {};
  final.resize(length);
  return final;
}

// The Program Files folders. Their rights let only administrators write in them, and the
// installer puts the program there.
std::vector<std::wstring> AdministratorsFolders() {
  std::vector<std::wstring> folders;
  for (const KNOWNFOLDERID& id : {FOLDERID_ProgramFiles, FOLDERID_ProgramFilesX86}) {
    wchar_t* path = nullptr;
    if (SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK) {
      const std::wstring final = FinalPath(path, true);
      if (!final.empty()) folders.push_back(final);
    }
    CoTaskMemFree(path);
  }
  return folders;
}

bool IsInside(const std::wstring& path, const std::wstring& folder) {
  if (path.size() <= folder.size() + 1 || path[folder.size()] != L'\\') return false;
  return CompareStringOrdinal(path.data(), static_cast<int>(folder.size()), folder.data(),
                              static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL;
}

// C:\... for \\?\C:\..., as a service's file is registered.
std::wstring WithoutLongPrefix(const std::wstring& path) {
  const std::wstring prefix = L"\\\\?\\";
  if (path.size() > prefix.size() + 1 && path.compare(0, prefix.size(), prefix) == 0 &&
      path[prefix.size() + 1] == L':') {
    return path.substr(prefix.size());
  }
  return path;
}

class WindowsPortSystem : public PortSystem {
 public:
  // The device stays open for the life of the process.
  bool NeedsPortDriver() override { return true; }

  std::string ExecutableFolder() override {
    // The name is cut without an error when the buffer is too small, so the buffer grows
    // until the name leaves room to spare.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
      const DWORD length =
          GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
      if (length == 0) return {};
      if (length < path.size()) {
        path.resize(length);
        break;
      }
      if (path.size() >= kLongestPath) return {};
      path.resize(path.size() * 2);
    }
    const std::size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::string() : win::Narrow(path.substr(0, cut));
  }

  std::uint32_t OpenDevice() override {
    device_ = INVALID_HANDLE_VALUE;
    device_ = CreateFileA(kDeviceName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    // A stale last error must not turn an open device into a failure, nor the reverse.
    if (device_ != INVALID_HANDLE_VALUE) return error == ERROR_ALREADY_EXISTS ? error : 0;
    return error != 0 ? error : ERROR_INVALID_HANDLE;
  }

  std::uint32_t CreatePortService(const std::string& path, const std::string& name) override {
    const std::wstring wide_name = win::Widen(name);
    const std::wstring wide_path = win::Widen(path);
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (manager == nullptr) return GetLastError();
    SC_HANDLE service =
        CreateServiceW(manager, wide_name.c_str(), wide_name.c_str(), SERVICE_ALL_ACCESS,
                       SERVICE_KERNEL_DRIVER, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                       wide_path.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    const DWORD error = service == nullptr ? GetLastError() : 0;
    if (service != nullptr) CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return error;
  }

  std::uint32_t StartPortService(const std::string& name) override {
    return WithService(name, SC_MANAGER_CONNECT, SERVICE_START,
                       [](SC_HANDLE s) { return StartServiceW(s, 0, nullptr) != 0; });
  }

  std::uint32_t StopPortService(const std::string& name) override {
    return WithService(name, SC_MANAGER_CONNECT, SERVICE_STOP, [](SC_HANDLE s) {
      SERVICE_STATUS status;
      return ControlService(s, SERVICE_CONTROL_STOP, &status) != 0;
    });
  }

  std::uint32_t DeletePortService(const std::string& name) override {
    return WithService(name, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS,
                       [](SC_HANDLE s) { return DeleteService(s) != 0; });
  }

  // The file as it really lies, links resolved: a link in a folder users may write could
  // otherwise be turned elsewhere between this check and the driver's load.
  DriverFileCheck CheckDriverFile(const std::string& path) override {
    const std::wstring wide = win::Widen(path);
    if (GetFileAttributesW(wide.c_str()) == INVALID_FILE_ATTRIBUTES) {
      return {DriverFile::kMissing, {}};
    }
    const std::wstring final = FinalPath(wide, false);
    for (const std::wstring& folder : AdministratorsFolders()) {
      if (!final.empty() && IsInside(final, folder)) {
        return {DriverFile::kSafe, win::Narrow(WithoutLongPrefix(final))};
      }
    }
    return {DriverFile::kUnsafe, {}};
  }

  bool PortServiceRunning(const std::string& name) override {
    DWORD state = SERVICE_STOPPED;
    const std::uint32_t error =
        WithService(name, SC_MANAGER_CONNECT, SERVICE_QUERY_STATUS, [&state](SC_HANDLE s) {
          SERVICE_STATUS status{};
          if (QueryServiceStatus(s, &status) == 0) return false;
          state = status.dwCurrentState;
          return true;
        });
    // A service that is missing or cannot be asked is taken as not running: the install
    // that follows then fails on its own if the service is there after all.
    return error == 0 && state != SERVICE_STOPPED;
  }

  bool DeviceControl(std::uint32_t code, std::span<const std::uint8_t> input) override {
    if (device_ == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    void* in = input.empty() ? nullptr : const_cast<std::uint8_t*>(input.data());
    return DeviceIoControl(device_, code, in, static_cast<DWORD>(input.size()), nullptr, 0,
                           &returned, nullptr) != 0;
  }

  void PortOut(std::uint16_t port, std::uint32_t width_code, std::uint32_t value) override {
#ifdef RDSQ7_HAVE_PORT_IO
    switch (width_code) {
      case kWidthByte:
        __outbyte(port, static_cast<unsigned char>(value));
        break;
      case kWidthWord:
        __outword(port, static_cast<unsigned short>(value));
        break;
      case kWidthDword:
        __outdword(port, static_cast<unsigned long>(value));
        break;
      default:
        break;
    }
#else
    (void)port, (void)width_code, (void)value;
#endif
  }

  // Windows cannot tell whether a port answers at an address; the kernel driver writes any.
  bool PortReachable(std::uint16_t, bool direct) override {
    return direct || device_ != INVALID_HANDLE_VALUE;
  }

  std::string PortAccessHint(std::uint16_t) override {
    return "Check that the port driver file zlportio.sys lies beside the program and that the "
           "program runs with administrator rights.";
  }

  // The kernel driver writes any port for any process: there is nothing to reserve.
  std::shared_ptr<void> HoldPort(std::uint16_t, bool) override {
    return nullptr;
  }

 private:
  HANDLE device_ = INVALID_HANDLE_VALUE;
};

}  // namespace

std::unique_ptr<PortSystem> MakePlatformPortSystem() {
  return std::make_unique<WindowsPortSystem>();
}

bool IsParallelDevicePath(const std::string&) {
  return false;
}

std::unique_ptr<DataRegister> OpenParallelDevice(const std::string& path) {
  throw PortAccessError("Can't access parallel port " + path + ": on Windows choose lpt1 or lpt2.");
}

}  // namespace transfer

// Windows: the communications API on a COM device opened for exclusive use.
#include <cctype>

#include "transfer/serial_system.h"
#include "transfer/win_text.h"

namespace transfer {
namespace {

HANDLE AsHandle(SerialSystem::Handle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

int Result(BOOL ok) {
  return ok ? 0 : static_cast<int>(GetLastError());
}

class WindowsSerialSystem : public SerialSystem {
 public:
  std::string DeviceFor(const std::string& name) override {
    // COM1 to COM9 are names of their own; from COM10 on only the device namespace knows
    // them.
    const bool com = name.size() > 4 && std::toupper(name[0]) == 'C' &&
                     std::toupper(name[1]) == 'O' && std::toupper(name[2]) == 'M';
    if (!com) return name;
    for (std::size_t i = 3; i < name.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(name[i]))) return name;
    }
    return "\\\\.\\" + name;
  }

  int OpenDevice(const std::string& device, Handle& handle) override {
    const HANDLE file = CreateFileW(win::Widen(device).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      return error != 0 ? static_cast<int>(error) : ERROR_INVALID_HANDLE;
    }
    handle = reinterpret_cast<Handle>(file);
    return 0;
  }

  int WriteDcb(Handle handle) override {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.BaudRate = CommSettings::kBaudRate;
    dcb.ByteSize = CommSettings::kDataBits;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    // With line control disabled the system clears DTR and RTS and leaves them to us.
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.XonLim = CommSettings::kXonLimit;
    dcb.XoffLim = CommSettings::kXoffLimit;
    dcb.XonChar = CommSettings::kXonChar;
    dcb.XoffChar = CommSettings::kXoffChar;
    return Result(SetCommState(AsHandle(handle), &dcb));
  }

  int SetupBuffers(Handle handle) override {
    return Result(SetupComm(AsHandle(handle), CommSettings::kReadBufferBytes,
                            CommSettings::kWriteBufferBytes));
  }

  int SetTimeouts(Handle handle) override {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    return Result(SetCommTimeouts(AsHandle(handle), &timeouts));
  }

  int SetEventMask(Handle handle) override {
    static_assert(CommSettings::kEventMask == (EV_ERR | EV_RXCHAR | EV_TXEMPTY));
    return Result(SetCommMask(AsHandle(handle), CommSettings::kEventMask));
  }

  int Escape(Handle handle, CommFunction function) override {
    DWORD code = CLRDTR;
    switch (function) {
      case CommFunction::kSetDtr:
        code = SETDTR;  // 5
        break;
      case CommFunction::kClearDtr:
        code = CLRDTR;  // 6
        break;
      case CommFunction::kSetRts:
        code = SETRTS;  // 3
        break;
      case CommFunction::kClearRts:
        code = CLRRTS;  // 4
        break;
    }
    return Result(EscapeCommFunction(AsHandle(handle), code));
  }

  void CloseDevice(Handle handle) override { CloseHandle(AsHandle(handle)); }

  bool IsNotFound(int code) override { return code == ERROR_FILE_NOT_FOUND; }

  std::string ErrorText(int code) override { return win::SystemMessage(static_cast<DWORD>(code)); }

  std::string OpenFailureCure(int code) override {
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
      return "check the port name in the Device Manager and that the adapter is plugged in";
    }
    // Windows reports a port held by another program as access denied.
    return "close any other program that uses the port";
  }
};

}  // namespace

std::unique_ptr<SerialSystem> MakePlatformSerialSystem() {
  return std::make_unique<WindowsSerialSystem>();
}

}  // namespace transfer

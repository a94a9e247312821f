#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include "transfer/va_comm_platform.h"

namespace transfer::comm_platform {

int EscapeComm(CommHandle handle, CommFunction function) {
  DWORD code = CLRDTR;
  switch (function) {
    case CommFunction::kSetDtr:
      code = SETDTR;
      break;  // 5
    case CommFunction::kClearDtr:
      code = CLRDTR;
      break;  // 6
    case CommFunction::kSetRts:
      code = SETRTS;
      break;  // 3
    case CommFunction::kClearRts:
      code = CLRRTS;
      break;  // 4
  }
  return EscapeCommFunction(handle, code) ? 0 : static_cast<int>(GetLastError());
}

void ClearLastError() {
  SetLastError(0);
}
int LastError() {
  return static_cast<int>(GetLastError());
}

std::string ErrorText(int code) {
  char* text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = length != 0 && text != nullptr ? std::string(text, length) : "";
  if (text != nullptr) LocalFree(text);
  while (!result.empty() &&
         (result.back() == '\r' || result.back() == '\n' || result.back() == ' '))
    result.pop_back();
  return result;
}

bool IsNotFound(int code) {
  return code == ERROR_FILE_NOT_FOUND;
}

// Qt reads the last error at once after CreateFile, so it is exact.
int OpenErrorCode(QSerialPort::SerialPortError error, int last_error) {
  if (last_error == 0 && error == QSerialPort::DeviceNotFoundError) return ERROR_FILE_NOT_FOUND;
  return last_error;
}

std::string OpenFailureCure(int code) {
  if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) {
    return "check the port name in the Device Manager and that the adapter is plugged in";
  }
  // Windows reports a port held by another program as access denied.
  return "close any other program that uses the port";
}

std::string SystemDeviceName(const std::string& name) {
  return name;
}

}  // namespace transfer::comm_platform

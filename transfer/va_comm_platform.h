#pragma once

// The few serial port operations Qt does not offer with the system's own error code: one
// source file per platform.
#include <QSerialPort>
#include <string>
#include <utility>

namespace transfer::comm_platform {

// The system's handle of an open port (a descriptor on Linux, a HANDLE on Windows).
using CommHandle = decltype(std::declval<const QSerialPort&>().handle());

enum class CommFunction { kSetDtr, kClearDtr, kSetRts, kClearRts };

// Changes one modem-control line; 0 or the system's error code.
int EscapeComm(CommHandle handle, CommFunction function);

void ClearLastError();
int LastError();
std::string ErrorText(int code);
bool IsNotFound(int code);
// The system's error code of a failed open, from Qt's kind of error and the last error
// taken at once after it (which Qt's lock file handling may have overwritten on Linux).
int OpenErrorCode(QSerialPort::SerialPortError error, int last_error);

// What to do about a port that did not open with this error code, as a short phrase.
std::string OpenFailureCure(int code);

// The system's name for a device name: COMn becomes /dev/ttyS(n-1) on Linux.
std::string SystemDeviceName(const std::string& name);

}  // namespace transfer::comm_platform

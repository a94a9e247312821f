#include "transfer/va_comm.h"

#include <QSerialPort>
#include <cstdio>

#include "transfer/va_comm_platform.h"

namespace transfer {
namespace {

using comm_platform::CommFunction;

constexpr qint32 kBaudRate = 1200;

std::string Format(const char* pattern, int code, const std::string& text) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, pattern, code, text.c_str());
  return buffer;
}

// The system's text for the error, or Qt's where the system left no code.
std::string ErrorText(int code, const QSerialPort& port) {
  return code != 0 ? comm_platform::ErrorText(code) : port.errorString().toStdString();
}

}  // namespace

std::string TVaCustomComm::PortName() const {
  std::string name = device_name_;
  const std::size_t at = name.find("%d");
  if (at != std::string::npos) name.replace(at, 2, std::to_string(port_num_));
  return name;
}

TVaComm::TVaComm() = default;

TVaComm::~TVaComm() {
  Close();
}

std::string TVaComm::SystemDeviceName() const {
  return comm_platform::SystemDeviceName(PortName());
}

void TVaComm::Open() {
  Close();
  const std::string device = SystemDeviceName();
  auto port = std::make_unique<QSerialPort>();
  port->setPortName(QString::fromStdString(device));

  // Write-only: nothing is ever read, so Qt needs no read watcher on the port.
  comm_platform::ClearLastError();
  if (!port->open(QIODevice::WriteOnly)) {
    const int code = comm_platform::OpenErrorCode(port->error(), comm_platform::LastError());
    if (comm_platform::IsNotFound(code)) {
      throw EVaCommError("Specified device not found (" + device + ").", code);
    }
    throw EVaCommError("Can't open specified device " + device +
                           Format(" (Error %d, %s)", code, ErrorText(code, *port)),
                       code);
  }

  comm_platform::ClearLastError();
  const bool configured = port->setBaudRate(kBaudRate) && port->setDataBits(QSerialPort::Data8) &&
                          port->setParity(QSerialPort::NoParity) &&
                          port->setStopBits(QSerialPort::OneStop) &&
                          port->setFlowControl(QSerialPort::NoFlowControl);
  if (!configured) {
    const int code = comm_platform::LastError();
    const std::string text = ErrorText(code, *port);
    port->close();
    throw EVaCommError(Format("Error writing dcb (%d), %s", code, text), code);
  }

  // Configuring a real port without line control clears both lines already; clear them
  // again for ports where it does not, but a device without modem lines (a pseudo-terminal)
  // still opens, and reports its lack at the first line operation.
  comm_platform::EscapeComm(port->handle(), CommFunction::kClearDtr);
  comm_platform::EscapeComm(port->handle(), CommFunction::kClearRts);
  port_ = std::move(port);
}

void TVaComm::Close() {
  if (!port_) return;
  port_->close();
  port_.reset();
}

bool TVaComm::Active() const {
  return port_ != nullptr;
}

void TVaComm::SetDtrLine(bool level) {
  if (!port_) return;
  const int code = comm_platform::EscapeComm(
      port_->handle(), level ? CommFunction::kSetDtr : CommFunction::kClearDtr);
  if (code != 0) {
    throw EVaCommError(
        Format("Error calling comm function (%d), %s", code, comm_platform::ErrorText(code)), code);
  }
}

void TVaComm::SetRtsLine(bool level) {
  if (!port_) return;
  const int code = comm_platform::EscapeComm(
      port_->handle(), level ? CommFunction::kSetRts : CommFunction::kClearRts);
  if (code != 0) {
    throw EVaCommError(
        Format("Error calling comm function (%d), %s", code, comm_platform::ErrorText(code)), code);
  }
}

}  // namespace transfer

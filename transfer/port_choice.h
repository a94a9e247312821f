#pragma once

#include <memory>
#include <string>

#include "transfer/line_driver.h"
#include "transfer/va_comm.h"
#include "transfer/zlportio.h"

namespace transfer {

// The port setting: a parallel port's I/O address (888 LPT1, 632 LPT2) or a serial port
// number (1 COM1, 2 COM2); below 3 means a serial port.
constexpr int kLpt1Setting = 888;
constexpr int kLpt2Setting = 632;
constexpr int kFirstParallelSetting = 3;
constexpr bool IsSerialSetting(int port_setting) {
  return port_setting < kFirstParallelSetting;
}

// What the port choice needs of the window.
class PortChoiceView {
 public:
  virtual ~PortChoiceView() = default;
  // A modal warning box with one OK button; returns when it is dismissed.
  virtual void ShowWarning(const std::string& text, const std::string& caption) = 0;
  virtual void ShowSystemTab() = 0;
  // Selects a PORT button; when the selection changes the window runs PORTClick again.
  virtual void SetPortIndex(int index) = 0;
};

class PortChoice {
 public:
  PortChoice(TVaCustomComm& comm, PortChoiceView& view) : comm_(comm), view_(view) {}

  // Applies a PORT index. A serial port is closed and the chosen one opened; when it does
  // not open the operator is told and LPT1 is selected instead.
  void PORTClick(int index);

  int PortSetting() const { return port_setting_; }
  // Back to LPT1, the setting every start begins with.
  void ResetPortSetting() { port_setting_ = kLpt1Setting; }

 private:
  TVaCustomComm& comm_;
  PortChoiceView& view_;
  int port_setting_ = kLpt1Setting;
};

// The line driver a send uses for the port setting: the parallel port at that address or
// the open serial port. Throws PortAccessError or EVaCommError, before any line is
// touched, when the port cannot be driven at all.
std::unique_ptr<LineDriver> ChooseLineDriver(int port_setting, PortDriver& port_driver,
                                             TVaCustomComm& comm);

}  // namespace transfer

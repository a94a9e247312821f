#include "transfer/port_choice.h"

#include "transfer/parallel_line_driver.h"
#include "transfer/serial_line_driver.h"

namespace transfer {
namespace {

// PORT buttons: 0 "LPT1 (0x378)", 1 "LPT2 (0x278)", then "COM1", "COM2"; a serial button's
// port number is its index minus 1.
constexpr int kFirstSerialIndex = 2;
static_assert(!IsSerialSetting(kLpt1Setting) && !IsSerialSetting(kLpt2Setting));

}  // namespace

void PortChoice::PORTClick(int index) {
  if (index == 0) port_setting_ = kLpt1Setting;
  if (index == 1) port_setting_ = kLpt2Setting;
  if (index < kFirstSerialIndex) return;

  try {
    comm_.Close();
  } catch (...) {
  }
  comm_.SetPortNum(index - 1);
  port_setting_ = comm_.PortNum();
  try {
    comm_.Open();
  } catch (...) {
    view_.ShowWarning("Can't open specified port (COM" + std::to_string(port_setting_) + ").",
                      "Warning");
    view_.ShowSystemTab();
    view_.SetPortIndex(0);
  }
}

std::unique_ptr<LineDriver> ChooseLineDriver(int port_setting, PortDriver& port_driver,
                                             TVaCustomComm& comm) {
  if (IsSerialSetting(port_setting)) {
    if (!comm.Active()) throw EVaCommError("Serial port " + comm.PortName() + " is not open.");
    return std::make_unique<SerialLineDriver>(comm);
  }
  return MakeParallelLineDriver(port_driver, static_cast<std::uint16_t>(port_setting));
}

}  // namespace transfer

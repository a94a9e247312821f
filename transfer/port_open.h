#pragma once

#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>

#include "transfer/line_driver.h"

namespace transfer {

// A port named on the command line that cannot be opened; the one-line message names the
// port and the likely cure.
class PortOpenError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Opens a port by name for a send from the command line: "lpt1", "lpt2", "com1", "com2"
// (any case), a parallel port device (/dev/parport0) or a serial device (/dev/ttyUSB0,
// /dev/ttyS0, COM3 on Windows). The line driver owns what it opened and releases it when
// destroyed. COM1 and COM2 follow the port links in port_link_folder (TVaComm). Throws
// PortOpenError.
std::unique_ptr<LineDriver> OpenNamedPort(const std::string& name,
                                          const std::filesystem::path& port_link_folder = {});

}  // namespace transfer

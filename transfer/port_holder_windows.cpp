// Windows tells no program which other one holds a serial port open.
#include "transfer/port_holder.h"

namespace transfer {

std::string PortHolders(const std::string&) {
  return "";
}

}  // namespace transfer

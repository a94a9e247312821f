#include "transfer/serial_line_driver.h"

namespace transfer {

void SerialLineDriver::ResetLines() {
  comm_.SetDtrLine(false);
  comm_.SetRtsLine(false);
}

// Data first, so that it is settled by the rising clock edge.
void SerialLineDriver::ClockHigh(rds::BitCell bit) {
  comm_.SetDtrLine(bit == 1);
  comm_.SetRtsLine(true);
}

void SerialLineDriver::ClockLow(rds::BitCell) {
  comm_.SetRtsLine(false);
}

}  // namespace transfer

#pragma once

#include "transfer/line_driver.h"
#include "transfer/va_comm.h"

namespace transfer {

// The encoder on a serial port: DTR is the data line, RTS the clock line.
class SerialLineDriver : public LineDriver {
 public:
  explicit SerialLineDriver(TVaCustomComm& comm) : comm_(comm) {}

  void ResetLines() override;
  void ClockHigh(rds::BitCell bit) override;
  void ClockLow(rds::BitCell bit) override;

 private:
  TVaCustomComm& comm_;
};

}  // namespace transfer

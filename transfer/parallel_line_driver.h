#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "transfer/line_driver.h"
#include "transfer/zlportio.h"

namespace transfer {

// The encoder on a parallel port: data is bit 4 and clock bit 3 of the data register; each
// operation is one byte write, so data and clock change together.
class ParallelLineDriver : public LineDriver {
 public:
  explicit ParallelLineDriver(std::unique_ptr<DataRegister> data_register);

  void ResetLines() override;
  void ClockHigh(rds::BitCell bit) override;
  void ClockLow(rds::BitCell bit) override;

 private:
  std::unique_ptr<DataRegister> register_;
};

// "LPT1 (0x378)", "LPT2 (0x278)", or "0x3BC" for any other address.
std::string ParallelPortName(std::uint16_t address);

// Throws PortAccessError when no byte written to the port at this address could reach
// it, naming the port and what to check, so that a send never runs through without
// driving the lines.
void CheckParallelPortAccess(PortDriver& driver, std::uint16_t address);

// The line driver for a send to the parallel port at this address, after the check.
std::unique_ptr<LineDriver> MakeParallelLineDriver(PortDriver& driver, std::uint16_t address);

}  // namespace transfer

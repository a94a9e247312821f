#include "transfer/parallel_line_driver.h"

#include <cstdio>

namespace transfer {
namespace {

// Data register bits the encoder is wired to; all other bits are always written as 0.
constexpr std::uint8_t kDataBit = 16;
constexpr std::uint8_t kClockBit = 8;

constexpr std::uint16_t kLpt1Address = 0x378;
constexpr std::uint16_t kLpt2Address = 0x278;

}  // namespace

ParallelLineDriver::ParallelLineDriver(std::unique_ptr<DataRegister> data_register)
    : register_(std::move(data_register)) {}

void ParallelLineDriver::ResetLines() {
  register_->Write(0);
}

void ParallelLineDriver::ClockHigh(rds::BitCell bit) {
  register_->Write(static_cast<std::uint8_t>(bit * kDataBit + kClockBit));
}

void ParallelLineDriver::ClockLow(rds::BitCell bit) {
  register_->Write(static_cast<std::uint8_t>(bit * kDataBit));
}

std::string ParallelPortName(std::uint16_t address) {
  char hex[8];
  std::snprintf(hex, sizeof hex, "0x%X", address);
  if (address == kLpt1Address) return std::string("LPT1 (") + hex + ")";
  if (address == kLpt2Address) return std::string("LPT2 (") + hex + ")";
  return hex;
}

void CheckParallelPortAccess(PortDriver& driver, std::uint16_t address) {
  if (driver.CanWritePort(address)) return;
  const std::string message = "Can't access parallel port " + ParallelPortName(address) + ". " +
                              driver.PortAccessHint(address);
  if (driver.DriverFileMissing()) throw NoPortDriverError(message);
  throw PortAccessError(message);
}

std::unique_ptr<LineDriver> MakeParallelLineDriver(PortDriver& driver, std::uint16_t address) {
  CheckParallelPortAccess(driver, address);
  return std::make_unique<ParallelLineDriver>(PortDriverRegister(driver, address));
}

}  // namespace transfer

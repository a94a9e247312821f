#include "transfer/zlportio.h"

namespace transfer {
namespace {

constexpr std::uint32_t kErrorAlreadyExists = 183;

static_assert(kReadPortCode == 0x80FF0004);
static_assert(kWritePortCode == 0x80FF0008);
static_assert(kEnableDirectCode == 0x80FF000C);
static_assert(kDisableDirectCode == 0x80FF0010);

void PutLittleEndian(PortWriteRequest& request, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) request[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetLittleEndian(std::span<const std::uint8_t> bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{bytes[at + i]} << (8 * i);
  return value;
}

// Cuts UTF-8 text to at most this many characters (code points), never inside one.
std::string CutToCharacters(std::string text, std::size_t characters) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool starts_character = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (starts_character && count++ == characters) {
      text.resize(i);
      break;
    }
  }
  return text;
}

class PortDriverDataRegister : public DataRegister {
 public:
  PortDriverDataRegister(PortDriver& driver, std::uint16_t address)
      : driver_(driver), address_(address), hold_(driver.HoldPort(address)) {}
  void Write(std::uint8_t value) override { driver_.WritePortByte(address_, value); }

 private:
  PortDriver& driver_;
  std::uint16_t address_;
  std::shared_ptr<void> hold_;
};

}  // namespace

PortWriteRequest MakePortWriteRequest(std::uint32_t port, std::uint32_t width_code,
                                      std::uint32_t value) {
  PortWriteRequest request{};
  PutLittleEndian(request, 0, port);
  PutLittleEndian(request, 4, width_code);
  PutLittleEndian(request, 8, value);
  return request;
}

PortWrite ReadPortWriteRequest(std::span<const std::uint8_t> request) {
  if (request.size() != kPortWriteRequestSize) return {0, ~0U, 0};
  return {GetLittleEndian(request, 0), GetLittleEndian(request, 4), GetLittleEndian(request, 8)};
}

PortDriver::PortDriver(std::unique_ptr<PortSystem> system) : system_(std::move(system)) {}

void PortDriver::StartPortAccess() {
  if (!system_->NeedsPortDriver()) {
    driver_open_ = true;
    direct_access_ = true;
    return;
  }
  if (OpenPortDevice()) {
    driver_open_ = true;
    return;
  }
  if (!InstallPortDriver()) return;
  driver_open_ = OpenPortDevice();
}

void PortDriver::EndPortAccess() {
  if (!started_service_) return;
  RemovePortDriver();
  started_service_ = false;
}

void PortDriver::SetDirectPortAccess(bool enable) {
  if (!system_->NeedsPortDriver() || !driver_open_) return;
  // A refusal leaves the flag as it was: without the grant OUT would fault, and writes go
  // on through the device instead.
  if (system_->DeviceControl(enable ? kEnableDirectCode : kDisableDirectCode, {})) {
    direct_access_ = enable;
  }
}

void PortDriver::WritePort(std::uint32_t port, std::uint32_t width_code, std::uint32_t value) {
  if (direct_access_) {
    if (width_code <= kWidthDword) system_->PortOut(port & 0xFFFF, width_code, value);
  } else if (driver_open_) {
    system_->DeviceControl(kWritePortCode, MakePortWriteRequest(port, width_code, value));
  }
}

bool PortDriver::OpenPortDevice() {
  if (!system_->NeedsPortDriver()) return true;
  const std::uint32_t error = system_->OpenDevice();
  return error == 0 || error == kErrorAlreadyExists;
}

bool PortDriver::InstallPortDriver() {
  if (!system_->NeedsPortDriver()) return true;
  // The device is exclusive: a running service whose device would not open is another
  // process's, and stopping it would pull the driver from under that process.
  if (system_->PortServiceRunning(kPortServiceName)) return false;
  RemovePortDriver();
  // A file that users may write or replace would run with the kernel's rights.
  const DriverFileCheck file = system_->CheckDriverFile(DriverFilePath());
  driver_file_ = file.state;
  if (file.state != DriverFile::kSafe) return false;
  const bool created =
      system_->CreatePortService(CutToCharacters(file.path, kMaxDriverPath), kPortServiceName) == 0;
  started_service_ = system_->StartPortService(kPortServiceName) == 0;
  // An entry that starts no driver is no use to anyone and is not left behind.
  if (!started_service_ && created) system_->DeletePortService(kPortServiceName);
  return started_service_;
}

void PortDriver::RemovePortDriver() {
  if (!system_->NeedsPortDriver()) return;
  system_->StopPortService(kPortServiceName);
  system_->DeletePortService(kPortServiceName);
}

std::string PortDriver::DriverFilePath() {
  std::string folder = system_->ExecutableFolder();
  if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  return CutToCharacters(folder + "\\" + kPortServiceName + ".sys", kMaxDriverPath);
}

bool PortDriver::CanWritePort(std::uint16_t port) {
  if (!direct_access_ && !driver_open_) return false;
  return system_->PortReachable(port, direct_access_);
}

std::string PortDriver::PortAccessHint(std::uint16_t port) {
  if (driver_file_ != DriverFile::kUnsafe) return system_->PortAccessHint(port);
  return "The port driver file zlportio.sys is loaded only from a folder that only "
         "administrators can write: put it beside the installed program in Program Files.";
}

PortDriver& ProcessPortDriver() {
  static PortDriver driver(MakePlatformPortSystem());
  return driver;
}

std::unique_ptr<DataRegister> PortDriverRegister(PortDriver& driver, std::uint16_t address) {
  return std::make_unique<PortDriverDataRegister>(driver, address);
}

}  // namespace transfer

#include "transfer/va_comm.h"

#include <array>
#include <cctype>
#include <cstdio>

namespace transfer {
namespace {

std::string Format(const char* pattern, int code, const std::string& text) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, pattern, code, text.c_str());
  return buffer;
}

// The configuration steps after the device has opened, in their order, each with the
// text its failure is reported with.
struct ConfigureStep {
  int (SerialSystem::*call)(SerialSystem::Handle);
  const char* error_text;
};
constexpr std::array<ConfigureStep, 4> kConfigureSteps = {{
    {&SerialSystem::WriteDcb, "Error writing dcb (%d), %s"},
    {&SerialSystem::SetupBuffers, "Error initializing buffers (%d), %s"},
    {&SerialSystem::SetTimeouts, "Error setting timeouts (%d), %s"},
    {&SerialSystem::SetEventMask, " Error setting EventMask (%d), %s"},
}};

}  // namespace

std::string TVaCustomComm::PortName() const {
  std::string name = device_name_;
  const std::size_t at = name.find("%d");
  if (at != std::string::npos) name.replace(at, 2, std::to_string(port_num_));
  return name;
}

TVaComm::TVaComm(std::unique_ptr<SerialSystem> system) : system_(std::move(system)) {}

TVaComm::~TVaComm() {
  Close();
}

std::optional<std::filesystem::path> PortLink(const std::filesystem::path& folder,
                                              const std::string& port_name) {
  std::string name = port_name;
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (folder.empty() || (name != "com1" && name != "com2")) return std::nullopt;
  std::error_code error;
  const std::filesystem::path link = folder / name;
  if (!std::filesystem::exists(std::filesystem::symlink_status(link, error))) return std::nullopt;
  return link;
}

std::string TVaComm::SystemDeviceName() const {
  // Opening the link opens the device it points to; a link to nothing is "not found".
  if (const auto link = PortLink(link_folder_, PortName())) return link->string();
  return system_->DeviceFor(PortName());
}

void TVaComm::Open() {
  Close();
  const std::string device = SystemDeviceName();
  SerialSystem::Handle handle{};
  if (const int code = system_->OpenDevice(device, handle); code != 0) {
    if (system_->IsNotFound(code)) {
      throw EVaCommError("Specified device not found (" + device + ").", code);
    }
    throw EVaCommError("Can't open specified device " + device +
                           Format(" (Error %d, %s)", code, system_->ErrorText(code)),
                       code);
  }
  for (const ConfigureStep& step : kConfigureSteps) {
    if (const int code = (system_.get()->*step.call)(handle); code != 0) {
      system_->CloseDevice(handle);
      throw EVaCommError(Format(step.error_text, code, system_->ErrorText(code)), code);
    }
  }
  // Linux raises both lines when a tty opens. A device without modem lines (a
  // pseudo-terminal) still opens, and reports its lack at the first line operation.
  (void)system_->Escape(handle, CommFunction::kClearDtr);
  (void)system_->Escape(handle, CommFunction::kClearRts);
  handle_ = handle;
}

void TVaComm::Close() {
  if (!handle_) return;
  (void)system_->Escape(*handle_, CommFunction::kClearDtr);
  (void)system_->Escape(*handle_, CommFunction::kClearRts);
  system_->CloseDevice(*handle_);
  handle_.reset();
}

bool TVaComm::Active() const {
  return handle_.has_value();
}

void TVaComm::SetDtrLine(bool level) {
  SetLine(level ? CommFunction::kSetDtr : CommFunction::kClearDtr);
}

void TVaComm::SetRtsLine(bool level) {
  SetLine(level ? CommFunction::kSetRts : CommFunction::kClearRts);
}

void TVaComm::SetLine(CommFunction function) {
  if (!handle_) return;
  if (const int code = system_->Escape(*handle_, function); code != 0) {
    throw EVaCommError(
        Format("Error calling comm function (%d), %s", code, system_->ErrorText(code)), code);
  }
}

}  // namespace transfer

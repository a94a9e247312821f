#include "transfer/port_open.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "transfer/parallel_line_driver.h"
#include "transfer/port_choice.h"
#include "transfer/port_holder.h"
#include "transfer/serial_line_driver.h"
#include "transfer/va_comm.h"
#include "transfer/zlportio.h"

namespace transfer {
namespace {

// A line driver together with what it drives, released after it.
class OwningLineDriver : public LineDriver {
 public:
  OwningLineDriver(std::shared_ptr<void> owned, std::unique_ptr<LineDriver> driver)
      : owned_(std::move(owned)), driver_(std::move(driver)) {}

  void ResetLines() override { driver_->ResetLines(); }
  void ClockHigh(rds::BitCell bit) override { driver_->ClockHigh(bit); }
  void ClockLow(rds::BitCell bit) override { driver_->ClockLow(bit); }

 private:
  std::shared_ptr<void> owned_;
  std::unique_ptr<LineDriver> driver_;
};

// Most PCs without the port driver have no parallel port at all.
constexpr const char* kNoParallelPortAdvice =
    "On a PC without a parallel port, use a USB-serial adapter and give its port, such as "
    "--port COM3 (rdsq7-cli ports lists them).";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::unique_ptr<LineDriver> OpenParallelAddress(std::uint16_t address) {
  PortDriver& driver = ProcessPortDriver();
  driver.StartPortAccess();
  driver.SetDirectPortAccess(true);
  // Ends port access as the program does at exit, once the send is over.
  std::shared_ptr<void> session(nullptr, [&driver](void*) { driver.EndPortAccess(); });
  try {
    return std::make_unique<OwningLineDriver>(session, MakeParallelLineDriver(driver, address));
  } catch (const NoPortDriverError& e) {
    throw PortOpenError(std::string(e.what()) + " " + kNoParallelPortAdvice);
  } catch (const PortAccessError& e) {
    throw PortOpenError(e.what());
  }
}

PortOpenError NotAPort(const std::string& port) {
#ifdef _WIN32
  constexpr const char* kExamples = "COM3";
#else
  constexpr const char* kExamples = "/dev/ttyUSB0 or /dev/parport0";
#endif
  return PortOpenError("Can't open serial port " + port +
                       ": not a serial or parallel port device; name one such as " + kExamples +
                       ".");
}

std::unique_ptr<LineDriver> OpenSerial(std::unique_ptr<TVaComm> comm) {
  try {
    comm->Open();
  } catch (const EVaCommError& e) {
    std::string port = comm->PortName();
    if (comm->SystemDeviceName() != port) port += " (" + comm->SystemDeviceName() + ")";
    SerialSystem& system = comm->System();
    if (system.IsNotAPort(e.ErrorCode())) throw NotAPort(port);
    const std::string reason =
        e.ErrorCode() != 0 ? system.ErrorText(e.ErrorCode()) : std::string(e.what());
    std::string message = "Can't open serial port " + port + " (" + reason +
                          "): " + system.OpenFailureCure(e.ErrorCode()) + ".";
    // The window and serve each open the port for a send: the one that finds it taken says
    // who has it.
    const std::string holders = PortHolders(comm->SystemDeviceName());
    if (!holders.empty()) message += " It is open in " + holders + ".";
    throw PortOpenError(message);
  }
  auto driver = std::make_unique<SerialLineDriver>(*comm);
  return std::make_unique<OwningLineDriver>(std::shared_ptr<TVaComm>(std::move(comm)),
                                            std::move(driver));
}

}  // namespace

std::unique_ptr<LineDriver> OpenNamedPort(const std::string& name,
                                          const std::filesystem::path& port_link_folder) {
  const std::string lower = Lower(name);
  if (lower == "lpt1") return OpenParallelAddress(kLpt1Setting);
  if (lower == "lpt2") return OpenParallelAddress(kLpt2Setting);

  auto comm = std::make_unique<TVaComm>();
  comm->SetPortLinkFolder(port_link_folder);
  if (lower == "com1" || lower == "com2") {
    comm->SetPortNum(lower == "com1" ? 1 : 2);
    return OpenSerial(std::move(comm));
  }
  if (IsParallelDevicePath(name)) {
    try {
      return std::make_unique<ParallelLineDriver>(OpenParallelDevice(name));
    } catch (const PortAccessError& e) {
      throw PortOpenError(e.what());
    }
  }
  // A folder or an ordinary file is no port, whatever opening it would fail with (a
  // folder: "Is a directory"; a file of another user: permission denied).
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(name, error);
  if (!error &&
      (std::filesystem::is_directory(status) || std::filesystem::is_regular_file(status))) {
    throw NotAPort(name);
  }
  comm->SetDeviceName(name);
  return OpenSerial(std::move(comm));
}

}  // namespace transfer

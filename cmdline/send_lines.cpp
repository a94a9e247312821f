#include "cmdline/send_lines.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <locale>
#include <memory>
#include <sstream>
#include <stdexcept>

#include "appcore/file_folders.h"
#include "cmdline/quote.h"
#include "cmdline/usage_error.h"
#include "transfer/parallel_bytes.h"
#include "transfer/port_open.h"
#include "transfer/recording_line_driver.h"
#include "transfer/va_comm.h"

namespace cmdline {
namespace {

// Drives a real port and notes every operation that went through, so that the trace shows
// what the encoder was given.
class TeeLineDriver final : public transfer::LineDriver {
 public:
  TeeLineDriver(std::unique_ptr<transfer::LineDriver> port,
                std::unique_ptr<transfer::LineDriver> recorder)
      : port_(std::move(port)), recorder_(std::move(recorder)) {}

  void ResetLines() override {
    port_->ResetLines();
    recorder_->ResetLines();
  }
  void ClockHigh(rds::BitCell bit) override {
    port_->ClockHigh(bit);
    recorder_->ClockHigh(bit);
  }
  void ClockLow(rds::BitCell bit) override {
    port_->ClockLow(bit);
    recorder_->ClockLow(bit);
  }

 private:
  std::unique_ptr<transfer::LineDriver> port_;
  std::unique_ptr<transfer::LineDriver> recorder_;
};

}  // namespace

bool SendTarget::Parse(const std::string& option, Arguments& args) {
  if (option == "--dry-run") {
    args.NoValue();
    dry_run = true;
  } else if (option == "--port") {
    port = args.Value();
    if (port->empty()) throw UsageError("option --port: empty port name");
  } else if (option == "--vcd") {
    vcd_path = args.Value();
  } else if (option == "--bytes") {
    bytes_path = args.Value();
  } else if (option == "--high-priority") {
    args.NoValue();
    high_priority = true;
  } else {
    return false;
  }
  return true;
}

transfer::LineDriverChoice LineDriverForSend(const std::optional<std::string>& port_name,
                                             transfer::WireTrace& trace, transfer::Pacer& pacer) {
  auto recorder = [&trace, &pacer] {
    return std::make_unique<transfer::RecordingLineDriver>(trace, [&pacer] { return pacer.Now(); });
  };
  if (!port_name) return recorder;
  // COM1 and COM2 are where the window finds them too (rdsq7-cli ports).
  const auto links = app::UserFolder(app::SystemEnvironment());
  auto port = std::make_shared<std::unique_ptr<transfer::LineDriver>>(
      transfer::OpenNamedPort(*port_name, links.value_or(std::filesystem::path())));
  return [port, recorder]() -> std::unique_ptr<transfer::LineDriver> {
    if (!*port) throw std::logic_error("the port drives one send only");
    return std::make_unique<TeeLineDriver>(std::move(*port), recorder());
  };
}

std::string SendFailure(const std::string& port, const std::exception& e) {
  return "send to " + port + " failed: " + e.what() +
         "; check that the port has DTR and RTS lines (a real serial port or USB-serial "
         "adapter) and is still connected, then send again";
}

void UploadRecordingFailures(transfer::SendSequence& sequence,
                             const std::optional<std::string>& port,
                             const std::function<void()>& record) {
  try {
    sequence.UploadRDS();
  } catch (const std::exception& e) {
    try {
      record();
    } catch (const std::exception&) {
      // the send's own failure is the one to report
    }
    if (!port || !dynamic_cast<const transfer::EVaCommError*>(&e)) throw;
    throw std::runtime_error(SendFailure(*port, e));
  }
}

std::string TimingSummary(const transfer::TraceTiming& timing) {
  using std::chrono::duration;
  using std::chrono::duration_cast;
  using std::chrono::microseconds;
  const double elapsed_ms = duration<double, std::milli>(timing.elapsed).count();
  const double nominal_ms = duration<double, std::milli>(transfer::kNominalTransferTime).count();
  auto whole_us = [](const std::optional<std::chrono::nanoseconds>& pause) {
    return pause ? duration_cast<microseconds>(*pause).count() : 0;
  };
  std::ostringstream line;
  line.imbue(std::locale::classic());
  line << std::fixed << std::setprecision(1) << "elapsed_ms=" << elapsed_ms
       << " nominal_ms=" << transfer::kNominalTransferTime.count() << std::setprecision(4)
       << " ratio=" << elapsed_ms / nominal_ms
       << " min_bit_pause_us=" << whole_us(timing.min_bit_pause)
       << " min_run_pause_us=" << whole_us(timing.min_run_pause);
  return line.str();
}

void WriteParallelBytes(const transfer::WireTrace& trace, std::ostream& out) {
  char hex[4];
  for (const std::uint8_t value : transfer::ParallelPortBytes(trace)) {
    std::snprintf(hex, sizeof hex, "%02X", static_cast<unsigned>(value));
    out << hex << '\n';
  }
}

RecordingFile::RecordingFile(std::string path) : path_(std::move(path)) {
  std::error_code error;
  const auto status = std::filesystem::status(PathArgument(path_), error);
  if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
    if (std::filesystem::is_directory(status)) {
      throw std::runtime_error("can't write " + QuotePath(path_));
    }
    return;  // a device or FIFO the user named: written directly after the send
  }
  app::FileReplacer& replacer = app::PlatformFileReplacer();
  if (replacer.CanReplace(PathArgument(path_))) staged_ = replacer.Stage(PathArgument(path_));
  if (!staged_) throw std::runtime_error("can't write " + QuotePath(path_));
}

void RecordingFile::Write(const std::function<void(std::ostream&)>& write) {
  std::ostringstream content;
  write(content);
  if (!staged_) {
    std::ofstream file(PathArgument(path_), std::ios::binary);
    file << content.str();
    file.close();
    if (!file) throw std::runtime_error("can't write " + QuotePath(path_));
    return;
  }
  if (!staged_->Write(content.str()) || !staged_->Finish() || !staged_->Commit()) {
    throw std::runtime_error("can't write " + QuotePath(path_));
  }
}

}  // namespace cmdline

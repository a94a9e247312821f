#include "cli/send_command.h"

#include <algorithm>
#include <iomanip>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>

#include "cli/terminal.h"
#include "cmdline/field_options.h"
#include "cmdline/quote.h"
#include "cmdline/send_lines.h"
#include "cmdline/usage_error.h"
#include "rds/cp1252.h"
#include "transfer/precise_pacer.h"
#include "transfer/send_sequence.h"
#include "transfer/thread_priority.h"
#include "transfer/trace_timing.h"
#include "transfer/vcd_writer.h"

namespace cli {
namespace {

constexpr const char* kSendHelp =
    "Usage: rdsq7-cli send --port PORT [options]\n"
    "  or:  rdsq7-cli send --dry-run [options]\n"
    "Clocks the preamble and the four groups into the encoder with the real timing\n"
    "(about 2.6 s), then prints the Last-sent record and a timing summary.\n"
#ifdef _WIN32
    "  --port PORT           lpt1, lpt2 (data on bit 4, clock on bit 3; they need the\n"
    "                        port driver zlportio.sys), com1, com2 or another serial port\n"
    "                        such as COM3, a USB-serial adapter (data on DTR, clock on\n"
    "                        RTS); 'rdsq7-cli ports' lists them\n"
#else
    "  --port PORT           lpt1, lpt2, com1, com2, or a device: a serial port such as\n"
    "                        /dev/ttyUSB0 (data on DTR, clock on RTS) or a parallel port\n"
    "                        such as /dev/parport0 (data on bit 4, clock on bit 3)\n"
#endif
    "  --dry-run             record the lines instead of driving a port\n"
    "  --vcd FILE            write the recorded data and clock lines as a Value Change\n"
    "                        Dump\n"
    "  --bytes FILE          write the 898 bytes a parallel port would receive, one per\n"
    "                        line, as two hex digits\n"
    "  --high-priority       send at the best priority the system grants (real-time\n"
    "                        where permitted or RealtimeKit grants it, else a lower\n"
    "                        nice value) and say which\n"
    "  -h, --help            show this text\n";

constexpr int kBarWidth = 28;

// The window's part in a send, for a command line: the options are the controls.
class CommandLineView final : public transfer::StationSendView {
 public:
  CommandLineView(rds::StationSettings settings, std::ostream* bar)
      : StationSendView(std::move(settings)), bar_(bar) {}

  void SetProgress(int position) override {
    if (!bar_) return;
    if (position == 0) {
      *bar_ << '\r' << std::string(kBarWidth + 10, ' ') << '\r' << std::flush;
      return;
    }
    const int filled = position * kBarWidth / transfer::kRunCount;
    *bar_ << "\r[" << std::string(filled, '#') << std::string(kBarWidth - filled, '.') << "] "
          << std::setw(2) << position << '/' << transfer::kRunCount << std::flush;
  }

 private:
  std::ostream* bar_;
};

}  // namespace

int SendCommand(cmdline::Arguments& args, std::ostream& out, std::ostream& err) {
  transfer::PrecisePacer pacer;
  const bool bar = &err == &std::cerr && StderrIsTerminal();
  const int status = SendCommand(args, out, err, pacer, bar);
  if (bar && pacer.WaitTime().count() > 0) {
    using Ms = std::chrono::duration<double, std::milli>;
    err << std::fixed << std::setprecision(1) << "paced: busy-waited "
        << Ms(pacer.BusyTime()).count() << " ms of " << Ms(pacer.WaitTime()).count()
        << " ms of pauses\n";
  }
  return status;
}

int SendCommand(cmdline::Arguments& args, std::ostream& out, std::ostream& err,
                transfer::Pacer& pacer, bool progress_bar) {
  cmdline::FieldOptions fields;
  cmdline::SendTarget options;
  while (!args.AtEnd()) {
    const std::string option = args.NextOption();
    if (fields.Parse(option, args) || options.Parse(option, args)) continue;
    if (option == "--help") {
      args.NoValue();
      out << kSendHelp << cmdline::FieldOptions::Help(args);
      return 0;
    } else {
      throw cmdline::UsageError("unknown option " + cmdline::Quote(option) + " for send");
    }
  }

  if (const auto note = fields.ObsoleteNote()) err << *note << '\n';
  if (options.dry_run && options.port) {
    throw cmdline::UsageError("--dry-run and --port exclude each other");
  }
  transfer::WireTrace trace;
  if (!options.dry_run && !options.port) {
    throw cmdline::UsageError(
        "send needs --port PORT (lpt1, lpt2, com1, com2 or a device), or --dry-run");
  }
  const transfer::LineDriverChoice choose = cmdline::LineDriverForSend(options.port, trace, pacer);
  // Made first, so that a bad path fails before the send rather than after it; written
  // after it, also when it failed, with what was clocked until then.
  std::optional<cmdline::RecordingFile> vcd, bytes;
  if (options.vcd_path) vcd.emplace(*options.vcd_path);
  if (options.bytes_path) bytes.emplace(*options.bytes_path);
  const auto record = [&] {
    if (vcd) vcd->Write([&](std::ostream& file) { transfer::WriteVcd(trace, file); });
    if (bytes) bytes->Write([&](std::ostream& file) { cmdline::WriteParallelBytes(trace, file); });
  };

  // This thread sends; the priority it got is told before the send starts.
  std::optional<transfer::RaisedThreadPriority> raised;
  if (options.high_priority) {
    raised.emplace();
    err << "high priority: " << raised->Description() << '\n';
  }
  const rds::StationSettings settings = fields.ApplyTo(rds::StationSettings{});
  CommandLineView view(settings, progress_bar ? &err : nullptr);
  transfer::SystemTimeOfDayClock clock;
  transfer::SendSequence sequence(view, clock, pacer, choose);
  cmdline::UploadRecordingFailures(sequence, options.port, record);
  record();
  err << fields.WarningLines(settings);  // of what went out; a failed send tells its failure only
  for (std::string line : sequence.LastSent()) {
    // An AF from a settings file may have a comma as its mark; the output always has '.'.
    if (line.rfind("AF", 0) == 0) std::replace(line.begin(), line.end(), ',', '.');
    out << rds::Cp1252ToUtf8(line) << '\n';
  }
  out << cmdline::TimingSummary(transfer::MeasureTrace(trace)) << '\n';
  return 0;
}

}  // namespace cli

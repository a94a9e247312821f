#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "appcore/file_replacer.h"
#include "cmdline/arguments.h"
#include "transfer/clock_out.h"
#include "transfer/pacer.h"
#include "transfer/send_sequence.h"
#include "transfer/trace_timing.h"
#include "transfer/wire_trace.h"

namespace cmdline {

// Where a send goes and what it leaves behind, as send and serve take it: --dry-run,
// --port PORT, --vcd FILE, --bytes FILE and --high-priority.
struct SendTarget {
  bool dry_run = false;
  bool high_priority = false;  // the sending thread at the best priority it is granted
  std::optional<std::string> port;
  std::optional<std::string> vcd_path;
  std::optional<std::string> bytes_path;

  // Takes option when it is one of these; false for any other. Throws UsageError.
  bool Parse(const std::string& option, Arguments& args);
};

// The one place that decides which lines a send drives: with no port, a recorder alone;
// with one, the port opened now (so that a missing or busy port fails before anything is
// clocked) and every operation that went through it recorded too. Either way the trace
// shows what the encoder was given. The choice drives one send.
transfer::LineDriverChoice LineDriverForSend(const std::optional<std::string>& port,
                                             transfer::WireTrace& trace, transfer::Pacer& pacer);

// A line operation that failed during a send, told with the port it happened on.
std::string SendFailure(const std::string& port, const std::exception& e);

// Runs the send. When it fails, record still writes what was clocked until then (a failure
// of its own is passed over: the send's is the one to report), and a line operation that
// failed on a port is told with the port's name.
void UploadRecordingFailures(transfer::SendSequence& sequence,
                             const std::optional<std::string>& port,
                             const std::function<void()>& record);

// "elapsed_ms=… nominal_ms=… ratio=… min_bit_pause_us=… min_run_pause_us=…".
std::string TimingSummary(const transfer::TraceTiming& timing);

// The bytes a parallel port would receive, one per line as two hex digits.
void WriteParallelBytes(const transfer::WireTrace& trace, std::ostream& out);

// A recording file (--vcd, --bytes). Made before the send, as a temporary file beside the
// path, so that a path that cannot be written fails before anything is clocked; Write puts
// the whole content there and then replaces the file in one step. An existing file thus
// stays as it was until there is a complete new one. A path that names something other than
// a regular file (/dev/stdout, a FIFO) is written directly. Throws std::runtime_error
// "can't write 'PATH'".
class RecordingFile {
 public:
  explicit RecordingFile(std::string path);
  void Write(const std::function<void(std::ostream&)>& write);

 private:
  std::string path_;
  std::unique_ptr<app::StagedFile> staged_;  // null when written directly
};

}  // namespace cmdline

#include "serve/send_worker.h"

#include <stdexcept>

#include "cmdline/send_lines.h"
#include "transfer/precise_pacer.h"
#include "transfer/send_sequence.h"
#include "transfer/send_view.h"
#include "transfer/trace_timing.h"
#include "transfer/vcd_writer.h"

namespace serve {
namespace {

void WriteFile(const std::string& path, const std::function<void(std::ostream&)>& write) {
  cmdline::RecordingFile(path).Write(write);
}

}  // namespace

SendWorker::SendWorker(cmdline::SendTarget target)
    : options_(std::move(target)), thread_([this] { Loop(); }) {}

SendWorker::~SendWorker() {
  {
    const std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

void SendWorker::Start(rds::StationSettings settings, Done done) {
  {
    const std::lock_guard lock(mutex_);
    job_.emplace(std::move(settings), std::move(done));
  }
  wake_.notify_one();
}

void SendWorker::Loop() {
  while (true) {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return quit_ || job_; });
    if (!job_) return;  // quit with nothing left to do
    auto job = std::move(*job_);
    job_.reset();
    lock.unlock();
    job.second(Send(job.first));
  }
}

SendOutcome SendWorker::Send(const rds::StationSettings& settings) {
  SendOutcome outcome;
  try {
    transfer::WireTrace trace;
    transfer::PrecisePacer pacer;
    pacer.SetHighPriority(options_.high_priority);
    transfer::StationSendView view(settings);
    transfer::SystemTimeOfDayClock clock;
    transfer::SendSequence sequence(view, clock, pacer,
                                    cmdline::LineDriverForSend(options_.port, trace, pacer));
    const auto record = [&] {
      if (options_.bytes_path) {
        WriteFile(*options_.bytes_path,
                  [&](std::ostream& out) { cmdline::WriteParallelBytes(trace, out); });
      }
      if (options_.vcd_path) {
        WriteFile(*options_.vcd_path, [&](std::ostream& out) { transfer::WriteVcd(trace, out); });
      }
    };
    cmdline::UploadRecordingFailures(sequence, options_.port, record);
    const rds::StationSettings after = view.ReadSettings();
    outcome.pi_text = after.pi;
    outcome.af_texts = after.af;
    outcome.record = sequence.LastSent();
    outcome.text = cmdline::TimingSummary(transfer::MeasureTrace(trace));
    for (const transfer::LineChange& change : trace) {
      if (change.op == transfer::LineOp::kClockHigh) {
        outcome.first_bit = change.time;
        break;
      }
    }
    outcome.ok = true;
    record();
  } catch (const std::exception& e) {
    if (!outcome.ok) outcome.text = e.what();
  }
  return outcome;
}

}  // namespace serve

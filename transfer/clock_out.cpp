#include "transfer/clock_out.h"

#include <stdexcept>

namespace transfer {
namespace {

// The pacer's hold on the system for one transfer, released however it ends.
class TransferScope {
 public:
  explicit TransferScope(Pacer& pacer) : pacer_(pacer) { pacer_.BeginTransfer(); }
  ~TransferScope() { pacer_.EndTransfer(); }
  TransferScope(const TransferScope&) = delete;
  TransferScope& operator=(const TransferScope&) = delete;

 private:
  Pacer& pacer_;
};

class Clocker {
 public:
  Clocker(LineDriver& lines, Pacer& pacer) : lines_(lines), pacer_(pacer) {}

  void Reset() {
    Wait();
    lines_.ResetLines();
    Mark();
  }

  void Run(const rds::BitCell* cells) {
    for (std::size_t i = 0; i < kRunBits; ++i) {
      const rds::BitCell bit = cells[i];
      pending_ += kBitPause;
      Wait();
      lines_.ClockHigh(bit);
      Mark();
      pending_ += kBitPause;
      Wait();
      lines_.ClockLow(bit);
      Mark();
    }
    pending_ += kRunPause;
  }

  // Waits out the pause after a run but keeps it pending: the next bit's 1 ms pause still
  // counts from the run's last line change, so the two together take 31 ms.
  void EndRun() { pacer_.WaitUntil(last_change_ + pending_); }

 private:
  void Wait() {
    if (pending_ > Pacer::Clock::duration::zero()) pacer_.WaitUntil(last_change_ + pending_);
    pending_ = {};
  }
  void Mark() { last_change_ = pacer_.Now(); }

  LineDriver& lines_;
  Pacer& pacer_;
  Pacer::Clock::time_point last_change_{};
  Pacer::Clock::duration pending_{};
};

}  // namespace

void ClockOut(const rds::EncoderImage& image, const LineDriverChoice& choose, Pacer& pacer,
              const ProgressSink& progress) {
  const std::unique_ptr<LineDriver> lines = choose();
  if (!lines) throw std::logic_error("no line driver chosen for the transfer");
  const TransferScope scope(pacer);
  Clocker clocker(*lines, pacer);
  clocker.Reset();
  const Preamble& preamble = PreambleCells();
  // Each position is shown once the previous run's pause is over, just before its run.
  for (int run = 0; run < kRunCount; ++run) {
    if (run > 0) clocker.EndRun();
    progress(run + 1);
    const rds::BitCell* cells = run < kPreambleRuns
                                    ? preamble.data() + run * kRunBits
                                    : image.data() + (run - kPreambleRuns) * kRunBits;
    clocker.Run(cells);
  }
  clocker.Reset();
}

}  // namespace transfer

#include "transfer/clock_out.h"

#include <stdexcept>

namespace transfer {
namespace {

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
  Clocker clocker(*lines, pacer);
  clocker.Reset();
  const Preamble& preamble = PreambleCells();
  for (int run = 0; run < kPreambleRuns; ++run) {
    progress(run + 1);
    clocker.Run(preamble.data() + run * kRunBits);
  }
  for (int run = 0; run < kRunCount - kPreambleRuns; ++run) {
    progress(kPreambleRuns + run + 1);
    clocker.Run(image.data() + run * kRunBits);
  }
  clocker.Reset();
}

}  // namespace transfer

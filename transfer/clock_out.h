#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "rds/bits.h"
#include "transfer/line_driver.h"
#include "transfer/pacer.h"
#include "transfer/preamble.h"

namespace transfer {

constexpr std::size_t kRunBits = 8;
constexpr int kPreambleRuns = static_cast<int>(kPreambleBits / kRunBits);
constexpr int kRunCount = static_cast<int>((kPreambleBits + rds::kImageBits) / kRunBits);
static_assert(kRunCount == 56 && (kPreambleBits + rds::kImageBits) % kRunBits == 0);

// Before each clock edge, and after each run of 8 bits.
constexpr std::chrono::milliseconds kBitPause{1};
constexpr std::chrono::milliseconds kRunPause{30};
constexpr std::chrono::milliseconds kNominalTransferTime =
    2 * kBitPause * kRunBits * kRunCount + kRunPause * kRunCount;
static_assert(kNominalTransferTime == std::chrono::milliseconds(2576));
static_assert(kRunPause > 2 * kBitPause);

// Chooses the line driver for one transfer; may throw when the lines can't be reached.
using LineDriverChoice = std::function<std::unique_ptr<LineDriver>()>;
// Receives the progress position, 1 to kRunCount.
using ProgressSink = std::function<void(int position)>;

// The transfer: chooses the line driver, resets the lines, clocks the 4 preamble runs and
// the 52 image runs out, 8 bits each, and resets the lines again. Every bit is a 1 ms
// pause, clock high with the data bit, a 1 ms pause, clock low; every run is followed by
// a 30 ms pause; progress is set to n before run n - 1 is clocked and after the pause that
// ends run n - 2.
//
// Pauses run from the end of the previous line operation, so none is ever shorter than
// its nominal length even when a line operation takes time; a 30 ms pause and the next
// bit's first 1 ms pause together end 31 ms after the run's last line change. An error from the
// choice or from a line operation ends the transfer at once, with no further line operation or
// pause.
void ClockOut(const rds::EncoderImage& image, const LineDriverChoice& choose, Pacer& pacer,
              const ProgressSink& progress);

}  // namespace transfer

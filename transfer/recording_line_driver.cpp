#include "transfer/recording_line_driver.h"

namespace transfer {

void RecordingLineDriver::Note(LineOp op, rds::BitCell bit) {
  // The time is taken first so that growing the trace does not delay it.
  const auto time = now_();
  trace_.push_back(LineChange{op, bit, time});
}

}  // namespace transfer

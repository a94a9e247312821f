#include "transfer/send_sequence.h"

#include <utility>

#include "rds/station.h"
#include "transfer/send_throttle.h"

namespace transfer {
namespace {

// Ends the busy state however a send ends.
class BusyScope {
 public:
  BusyScope(SendView& view, bool& sending) : view_(view), sending_(sending) {
    sending_ = true;
    view_.SetBusyCursor(true);
  }
  ~BusyScope() {
    sending_ = false;
    try {
      view_.SetProgress(0);
      view_.SetBusyCursor(false);
    } catch (...) {
      // Already unwinding from the send's own error, or done; the window's trouble
      // with its own controls must not mask it.
    }
  }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  SendView& view_;
  bool& sending_;
};

}  // namespace

SendSequence::SendSequence(SendView& view, TimeOfDayClock& clock, Pacer& pacer,
                           LineDriverChoice choose)
    : view_(view),
      clock_(clock),
      pacer_(pacer),
      choose_(std::move(choose)),
      last_send_(clock.Now()) {}

bool SendSequence::UPClick() {
  // A press handled while the send lets messages run would start a second transfer
  // inside the first and interleave their line changes.
  if (sending_) return false;
  if (!PressAccepted(last_send_, clock_.Now())) return false;
  UploadRDS();
  last_send_ = clock_.Now();
  return true;
}

void SendSequence::UploadRDS() {
  if (sending_) return;
  BusyScope busy(view_, sending_);
  Send();
}

void SendSequence::Send() {
  const rds::Encoding encoding = rds::Encode(view_.ReadSettings());
  view_.WriteBackTexts(encoding.pi_text, encoding.af_texts);
  view_.ProcessPendingMessages();
  ClockOut(encoding.image, choose_, pacer_, [this](int position) { view_.SetProgress(position); });
  // Read again: the record shows the boxes as the send left them.
  record_ = BuildLastSentRecord(view_.ReadSettings());
  view_.ShowLastSent(record_);
}

}  // namespace transfer

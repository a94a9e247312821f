#pragma once

#include "transfer/clock_out.h"
#include "transfer/last_sent_record.h"
#include "transfer/pacer.h"
#include "transfer/send_view.h"
#include "transfer/time_of_day.h"

namespace transfer {

// The Send button's work: the throttle, the encoding, the transfer and the Last-sent
// record. One per window; everything runs on the calling (user-interface) thread.
//
// On an error the send ends where it failed: no further line operation, pause or record
// step runs, the Last-sent record and the time of last send keep their previous values,
// and the error propagates unchanged to the caller. The busy cursor is switched off and
// the progress bar set to 0 on that path too, so that a failed send leaves no hourglass
// and no half-full bar behind; the lines keep the levels of the last operation that
// succeeded.
class SendSequence {
 public:
  // Takes the time of day as the time of last send, so that presses in the first two
  // seconds after start-up are ignored.
  SendSequence(SendView& view, TimeOfDayClock& clock, Pacer& pacer, LineDriverChoice choose);

  // The Send button: ignored (false) unless more than one whole second (so two or more)
  // lies between now and the time of last send, and while a send is running; otherwise
  // sends and, when the send completed, takes the time of day after it as the time of
  // last send (true).
  bool UPClick();

  // The send itself, without the throttle; does nothing when called during a send.
  void UploadRDS();

  const LastSentRecord& LastSent() const { return record_; }
  // For the settings file's load at start-up.
  void SetLastSent(const LastSentRecord& record) { record_ = record; }
  TimeOfDay TimeOfLastSend() const { return last_send_; }
  // Takes the time of day as the time of last send (start-up).
  void ResetTimeOfLastSend() { last_send_ = clock_.Now(); }

 private:
  void Send();

  SendView& view_;
  TimeOfDayClock& clock_;
  Pacer& pacer_;
  LineDriverChoice choose_;
  LastSentRecord record_{};
  TimeOfDay last_send_;
  bool sending_ = false;
};

}  // namespace transfer

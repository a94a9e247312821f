#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "transfer/thread_priority.h"

namespace transfer {

// Within the process's priority class (high with the High priority option); any user may
// raise a thread of its own process.
RaisedThreadPriority::RaisedThreadPriority() {
  const HANDLE self = ::GetCurrentThread();
  const int previous = ::GetThreadPriority(self);
  if (previous != THREAD_PRIORITY_ERROR_RETURN &&
      ::SetThreadPriority(self, THREAD_PRIORITY_TIME_CRITICAL)) {
    change_ = Change::kPolicy;
    previous_priority_ = previous;
    description_ = "time-critical thread";
  } else {
    description_ = "not permitted, normal priority";
  }
}

RaisedThreadPriority::~RaisedThreadPriority() {
  if (change_ == Change::kPolicy)
    (void)::SetThreadPriority(::GetCurrentThread(), previous_priority_);
}

}  // namespace transfer

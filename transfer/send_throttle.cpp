#include "transfer/send_throttle.h"

namespace transfer {

bool PressAccepted(TimeOfDay last_send, TimeOfDay now) {
  const TimeOfDay gap = now >= last_send ? now - last_send : last_send - now;
  // Whole seconds, truncated toward zero.
  return std::chrono::duration_cast<std::chrono::seconds>(gap) > kThrottleSeconds;
}

}  // namespace transfer

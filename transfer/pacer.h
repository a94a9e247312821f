#pragma once

#include <chrono>

namespace transfer {

// Time and waiting for the transfer, on a monotonic clock. Injectable so that tests run
// a whole send in microseconds.
class Pacer {
 public:
  using Clock = std::chrono::steady_clock;

  virtual ~Pacer() = default;

  virtual Clock::time_point Now() = 0;
  // Returns no earlier than deadline; at once when it has passed.
  virtual void WaitUntil(Clock::time_point deadline) = 0;

  // Around each transfer, on the thread that runs it: what the waits need from the system
  // while the transfer lasts.
  virtual void BeginTransfer() {}
  virtual void EndTransfer() {}
};

}  // namespace transfer

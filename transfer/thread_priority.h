#pragma once

#include <string>

namespace transfer {

// While it lives, the calling thread runs at the highest priority the system grants this
// program: on Linux a low real-time priority where that is permitted (root, CAP_SYS_NICE or
// RLIMIT_RTPRIO) or the desktop's RealtimeKit service grants it, else the lowest nice value
// permitted (RLIMIT_NICE); on Windows the time-critical thread priority. The previous priority
// comes back when it ends. Must end on the thread that made it.
class RaisedThreadPriority {
 public:
  RaisedThreadPriority();
  ~RaisedThreadPriority();
  RaisedThreadPriority(const RaisedThreadPriority&) = delete;
  RaisedThreadPriority& operator=(const RaisedThreadPriority&) = delete;

  // What the thread got: "real-time (SCHED_FIFO 10)", "real-time (SCHED_RR 10,
  // RealtimeKit)", "nice -5", "time-critical thread" or
  // "not permitted, normal priority".
  const std::string& Description() const { return description_; }
  // Whether busy threads of normal priority can no longer take the processor from this one.
  bool AboveNormalThreads() const { return change_ == Change::kPolicy; }

 private:
  enum class Change { kNone, kPolicy, kNice };

  std::string description_;
  Change change_ = Change::kNone;
  int previous_policy_ = 0;
  int previous_priority_ = 0;  // real-time priority, nice value or Windows thread priority
};

}  // namespace transfer

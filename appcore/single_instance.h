#pragma once

#include <string>

namespace app {

// Name of the object whose existence marks a running instance of the program.
inline constexpr char kInstanceName[] = "tolvexpr";

// A named object of the logged-on user that the first instance holds for its whole life.
// The system releases it when the holding process ends, however it ends, so a crash never
// blocks the next start. Where the object cannot be created at all, the start counts as a
// first one (nothing else could be done about it).
class SingleInstance {
 public:
  explicit SingleInstance(const std::string& name = kInstanceName);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when another holder of the same name was already there.
  bool AlreadyRunning() const { return already_running_; }

 private:
  bool already_running_ = false;
  // Windows: the mutex handle; Linux: the socket descriptor. -1 / null when not held.
  long long handle_ = -1;
};

}  // namespace app

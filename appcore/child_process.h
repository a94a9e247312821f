#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace app {

// A command run through the system's shell (/bin/sh -c; cmd.exe /c on Windows) whose
// standard output the program reads; its standard error stays the program's. Stop, or the
// destructor, ends the command and everything it started.
class ChildProcess {
 public:
  // Throws std::runtime_error "can't start COMMAND: REASON".
  explicit ChildProcess(const std::string& command);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Up to size bytes of the command's output; 0 once it has ended or been stopped. Blocks
  // until there is output.
  std::size_t Read(void* buffer, std::size_t size);

  // Ends the command; a Read blocked in another thread returns 0. Safe to call again.
  void Stop();

  // How the command ended ("exited with status 1", "ended by signal 15"); waits for it.
  std::string Ending();

 private:
  struct Os;
  std::unique_ptr<Os> os_;
};

}  // namespace app

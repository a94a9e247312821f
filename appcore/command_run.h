#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

namespace app {

// What became of one run of a command.
struct CommandResult {
  bool started = false;
  bool timed_out = false;
  int exit_status = -1;  // when it ended by itself; -1 for a signal
  std::string ending;    // "exited with status 1", "ended after 30 s", "can't start …: reason"
  std::string output;    // the start of its standard output and error, at most kOutputKept
  bool Succeeded() const { return started && !timed_out && exit_status == 0; }
};

constexpr std::size_t kOutputKept = 4096;

// Runs command through the system's shell (/bin/sh -c; cmd.exe /c on Windows) with input on
// its standard input and environment added to the program's own, and waits for it. After
// timeout, or once *cancel is true, the command and everything it started are ended.
CommandResult RunCommand(const std::string& command, const std::string& input,
                         const std::vector<std::pair<std::string, std::string>>& environment,
                         std::chrono::milliseconds timeout,
                         const std::atomic<bool>* cancel = nullptr);

// How a run cut short ended, for both systems' RunCommand: "stopped" when it was cancelled,
// else "ended after 30 s" (or "… ms" below a second).
std::string CutShortEnding(std::chrono::milliseconds timeout, bool cancelled);

}  // namespace app

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "appcore/child_process.h"

extern char** environ;

namespace app {

struct ChildProcess::Os {
  pid_t pid = -1;
  int out = -1;
  std::mutex mutex;
  bool stopped = false;
  bool reaped = false;
  int status = 0;
};

ChildProcess::ChildProcess(const std::string& command) : os_(std::make_unique<Os>()) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) {
    throw std::runtime_error("can't start " + command + ": " + std::strerror(errno));
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipe_fds[1], STDOUT_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // A group of its own, so that stopping it reaches what the shell started too.
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  const int error = posix_spawn(&os_->pid, "/bin/sh", &actions, &attributes,
                                const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(pipe_fds[1]);
  if (error != 0) {
    close(pipe_fds[0]);
    throw std::runtime_error("can't start " + command + ": " + std::strerror(error));
  }
  os_->out = pipe_fds[0];
}

ChildProcess::~ChildProcess() {
  Stop();
  Ending();
  if (os_->out >= 0) close(os_->out);
}

std::size_t ChildProcess::Read(void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = read(os_->out, buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) return 0;
  }
}

void ChildProcess::Stop() {
  std::lock_guard lock(os_->mutex);
  if (os_->stopped || os_->reaped) return;
  os_->stopped = true;
  kill(-os_->pid, SIGTERM);
  // A command that ignores SIGTERM gets SIGKILL a moment later; the group's output pipe
  // then closes and a blocked Read returns.
  for (int i = 0; i < 50; ++i) {
    int status = 0;
    const pid_t done = waitpid(os_->pid, &status, WNOHANG);
    if (done == os_->pid) {
      os_->reaped = true;
      os_->status = status;
      kill(-os_->pid, SIGKILL);  // anything of the group still there
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(-os_->pid, SIGKILL);
}

std::string ChildProcess::Ending() {
  int status = 0;
  {
    std::lock_guard lock(os_->mutex);
    if (os_->reaped) status = os_->status;
  }
  if (!os_->reaped) {
    // Not under the lock: Stop must stay possible while this waits.
    pid_t done;
    while ((done = waitpid(os_->pid, &status, 0)) < 0 && errno == EINTR) {
    }
    std::lock_guard lock(os_->mutex);
    if (done == os_->pid) {
      os_->reaped = true;
      os_->status = status;
    }
    status = os_->status;  // reaped by Stop meanwhile
  }
  if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "ended by signal " + std::to_string(WTERMSIG(status));
  return "ended";
}

}  // namespace app

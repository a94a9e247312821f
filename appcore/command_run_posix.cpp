#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

#include "appcore/command_run.h"

extern char** environ;

namespace app {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kPoll{50};
// A command that ignores SIGTERM gets SIGKILL after this.
constexpr std::chrono::milliseconds kTermGrace{1000};

struct Fd {
  int fd = -1;
  ~Fd() { Close(); }
  void Close() {
    if (fd >= 0) close(fd);
    fd = -1;
  }
};

std::vector<std::string> Environment(
    const std::vector<std::pair<std::string, std::string>>& added) {
  std::vector<std::string> out;
  for (char** e = environ; *e; ++e) {
    const std::string_view entry(*e);
    bool replaced = false;
    for (const auto& [name, value] : added)
      replaced = replaced || entry.substr(0, entry.find('=')) == name;
    if (!replaced) out.emplace_back(entry);
  }
  for (const auto& [name, value] : added) out.push_back(name + "=" + value);
  return out;
}

// Reads what is there now; false once the other end is closed.
bool Drain(int fd, std::string& output) {
  char buffer[4096];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
      output.append(buffer, static_cast<std::size_t>(std::min<ssize_t>(
                                got, kOutputKept - std::min(kOutputKept, output.size()))));
      continue;
    }
    if (got < 0 && errno == EINTR) continue;
    return got < 0 && errno == EAGAIN;
  }
}

std::string Describe(int status) {
  if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "ended by signal " + std::to_string(WTERMSIG(status));
  return "ended";
}

}  // namespace

CommandResult RunCommand(const std::string& command, const std::string& input,
                         const std::vector<std::pair<std::string, std::string>>& environment,
                         std::chrono::milliseconds timeout, const std::atomic<bool>* cancel) {
  CommandResult result;
  // Standard input is a socket, so that a command that does not read it costs a failed
  // send here rather than SIGPIPE.
  int in_pair[2], out_pipe[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in_pair) != 0) {
    result.ending = "can't start " + command + ": " + std::strerror(errno);
    return result;
  }
  Fd in_parent{in_pair[0]}, in_child{in_pair[1]};
  if (pipe2(out_pipe, O_CLOEXEC) != 0) {
    result.ending = "can't start " + command + ": " + std::strerror(errno);
    return result;
  }
  Fd out_parent{out_pipe[0]}, out_child{out_pipe[1]};

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in_child.fd, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out_child.fd, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out_child.fd, STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setpgroup(&attributes, 0);  // a group of its own: the timeout ends it all
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);  // serve ignores it; the command gets the usual one
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  std::vector<std::string> env = Environment(environment);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  const char* argv[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  pid_t pid = -1;
  const int error = posix_spawn(&pid, "/bin/sh", &actions, &attributes,
                                const_cast<char* const*>(argv), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  in_child.Close();
  out_child.Close();
  if (error != 0) {
    result.ending = "can't start " + command + ": " + std::strerror(error);
    return result;
  }
  result.started = true;
  fcntl(in_parent.fd, F_SETFL, O_NONBLOCK);
  fcntl(out_parent.fd, F_SETFL, O_NONBLOCK);

  const Clock::time_point deadline = Clock::now() + timeout;
  std::optional<Clock::time_point> killed_at;
  std::size_t written = 0;
  if (input.empty()) in_parent.Close();
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    const Clock::time_point now = Clock::now();
    if (!killed_at && (now >= deadline || (cancel && cancel->load()))) {
      result.timed_out = true;
      kill(-pid, SIGTERM);
      killed_at = now;
    } else if (killed_at && now - *killed_at >= kTermGrace) {
      kill(-pid, SIGKILL);
    }
    pollfd fds[2] = {{out_parent.fd, POLLIN, 0}, {in_parent.fd, POLLOUT, 0}};
    poll(fds, in_parent.fd >= 0 ? 2 : 1, static_cast<int>(kPoll.count()));
    if (out_parent.fd >= 0 && !Drain(out_parent.fd, result.output)) out_parent.Close();
    if (in_parent.fd >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP))) {
      const ssize_t sent = send(in_parent.fd, input.data() + written, input.size() - written,
                                MSG_NOSIGNAL | MSG_DONTWAIT);
      if (sent > 0) written += static_cast<std::size_t>(sent);
      // The end of the input, or a command that closed its standard input.
      if (written == input.size() || (sent < 0 && errno != EAGAIN && errno != EINTR))
        in_parent.Close();
    }
  }
  kill(-pid, SIGKILL);  // whatever it left running in its group
  if (out_parent.fd >= 0) Drain(out_parent.fd, result.output);
  if (result.timed_out) {
    result.ending = CutShortEnding(timeout, cancel && cancel->load() && Clock::now() < deadline);
  } else {
    result.ending = Describe(status);
    if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
  }
  return result;
}

}  // namespace app

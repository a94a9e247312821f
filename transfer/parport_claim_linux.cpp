#include <pthread.h>

#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <mutex>
#include <thread>

#include "transfer/parport_claim.h"
#include "transfer/zlportio.h"

namespace transfer {
namespace {

// ppdev has no claim that gives up by itself, but PPCLAIM sleeps interruptibly: a signal
// whose handler lacks SA_RESTART makes it return EINTR. A real-time signal is used because
// nothing else in the program does.
constexpr int kSignalAboveRtMin = 5;
// After the deadline the signal is sent again this often until the claim has returned: one
// that lands between two tries of the call interrupts nothing.
constexpr std::chrono::milliseconds kResendMs{5};

int InterruptSignal() {
  return SIGRTMIN + kSignalAboveRtMin;
}

void DoNothing(int) {}

void InstallInterruptHandler() {
  static std::once_flag once;
  std::call_once(once, [] {
    struct sigaction action {};
    action.sa_handler = DoNothing;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the interrupted call returns EINTR
    sigaction(InterruptSignal(), &action, nullptr);
  });
}

// Interrupts the calling thread with the signal from the deadline on, until Finish. On
// Finish no signal of its own is left to interrupt a later call of that thread.
class Watchdog {
 public:
  explicit Watchdog(std::chrono::milliseconds wait_ms)
      : claimer_(pthread_self()), deadline_(std::chrono::steady_clock::now() + wait_ms) {
    sigemptyset(&signal_set_);
    sigaddset(&signal_set_, InterruptSignal());
    // The claiming thread must take the signal even where the caller blocks it.
    pthread_sigmask(SIG_UNBLOCK, &signal_set_, &saved_mask_);
    watcher_ = std::thread([this] { Watch(); });
  }
  ~Watchdog() { Finish(); }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

  bool Expired() {
    std::lock_guard lock(mutex_);
    return expired_;
  }

  void Finish() {
    if (!watcher_.joinable()) return;
    // Blocked first, so a signal sent before the watcher sees done stays pending...
    pthread_sigmask(SIG_BLOCK, &signal_set_, nullptr);
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    done_changed_.notify_one();
    watcher_.join();
    // ...and is taken off here, before the caller's mask returns.
    const timespec no_wait{};
    while (sigtimedwait(&signal_set_, nullptr, &no_wait) > 0) {
    }
    pthread_sigmask(SIG_SETMASK, &saved_mask_, nullptr);
  }

 private:
  void Watch() {
    std::unique_lock lock(mutex_);
    if (done_changed_.wait_until(lock, deadline_, [this] { return done_; })) return;
    expired_ = true;
    while (!done_) {
      pthread_kill(claimer_, InterruptSignal());
      done_changed_.wait_for(lock, kResendMs, [this] { return done_; });
    }
  }

  const pthread_t claimer_;
  const std::chrono::steady_clock::time_point deadline_;
  sigset_t signal_set_{};
  sigset_t saved_mask_{};
  std::mutex mutex_;
  std::condition_variable done_changed_;
  bool done_ = false;
  bool expired_ = false;
  std::thread watcher_;
};

}  // namespace

void ClaimWithin(const std::function<int()>& claim, const std::string& port_name,
                 std::chrono::milliseconds wait_ms) {
  InstallInterruptHandler();
  int error = 0;
  bool timed_out = false;
  {
    Watchdog watchdog(wait_ms);
    for (;;) {
      error = claim();
      // Another signal of the process may interrupt the wait early: then it goes on.
      if (error != EINTR) break;
      if (watchdog.Expired()) {
        timed_out = true;
        break;
      }
    }
  }
  if (timed_out) {
    throw PortAccessError(port_name +
                          " is in use by another program: close it or let it finish (a print "
                          "job, another send), then send again.");
  }
  if (error != 0) {
    throw PortAccessError("Can't claim parallel port " + port_name + " (" + std::strerror(error) +
                          ").");
  }
}

}  // namespace transfer

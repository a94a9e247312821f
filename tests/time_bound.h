#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

namespace test_support {

// Runs work on the calling thread (widgets need their own) under a watchdog. A reader that
// blocks (a FIFO opened for reading) or takes quadratic time would otherwise hang the
// suite: past the limit the test program stops at once with a message. The limit is
// generous: it catches a hang, it measures nothing.
template <typename Work>
void RunWithin(std::chrono::seconds limit, const std::string& what, Work work) {
  std::promise<void> done;
  std::thread watchdog([finished = done.get_future(), limit, what]() {
    if (finished.wait_for(limit) != std::future_status::ready) {
      std::fprintf(stderr, "FAILED: %s did not finish within %lld s\n", what.c_str(),
                   static_cast<long long>(limit.count()));
      std::fflush(stderr);
      std::_Exit(1);
    }
  });
  work();
  done.set_value();
  watchdog.join();
}

}  // namespace test_support

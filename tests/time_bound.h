#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <thread>

namespace test_support {

// Runs work on a thread of its own and waits at most limit for it. A reader that blocks
// (a FIFO opened for reading) or takes quadratic time would otherwise hang the suite; past
// the limit the test program stops at once with a message, since the blocked thread still
// uses the test's data. The limit is generous: it catches a hang, it measures nothing.
template <typename Work>
void RunWithin(std::chrono::seconds limit, const std::string& what, Work work) {
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  std::thread([done, &work] {
    work();
    done->set_value();
  }).detach();
  if (finished.wait_for(limit) != std::future_status::ready) {
    std::fprintf(stderr, "FAILED: %s did not finish within %lld s\n", what.c_str(),
                 static_cast<long long>(limit.count()));
    std::fflush(stderr);
    std::_Exit(1);
  }
}

}  // namespace test_support

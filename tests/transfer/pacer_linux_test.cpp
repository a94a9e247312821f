#include <gtest/gtest.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "rds/station.h"
#include "transfer/clock_out.h"
#include "transfer/precise_pacer.h"

namespace transfer {
namespace {

int ThreadNice() {
  return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)));
}

// The sending thread may run with 1 ns of timer slack and a raised priority during a
// transfer, but must get its own settings back after it, also when the transfer fails.
TEST(PrecisePacerLinux, GivesTheThreadItsTimerSlackAndPriorityBackAfterATransfer) {
  const int slack = ::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0);
  const int policy = ::sched_getscheduler(0);
  const int nice = ThreadNice();
  PrecisePacer pacer;
  pacer.SetHighPriority(true);
  pacer.BeginTransfer();
  EXPECT_LE(::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), 1);  // a real-time thread has none
  EXPECT_FALSE(pacer.PriorityGot().empty());
  pacer.EndTransfer();
  EXPECT_EQ(::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), slack);

  struct FailingDriver final : LineDriver {
    void ResetLines() override {}
    void ClockHigh(rds::BitCell) override {}
    void ClockLow(rds::BitCell) override { throw std::runtime_error("line lost"); }
  };
  const LineDriverChoice breaks = [] { return std::make_unique<FailingDriver>(); };
  EXPECT_THROW(ClockOut(rds::Encode(rds::StationSettings{}).image, breaks, pacer, [](int) {}),
               std::runtime_error);
  EXPECT_EQ(::prctl(PR_GET_TIMERSLACK, 0, 0, 0, 0), slack);
  EXPECT_EQ(::sched_getscheduler(0), policy);
  EXPECT_EQ(ThreadNice(), nice);
}

}  // namespace
}  // namespace transfer

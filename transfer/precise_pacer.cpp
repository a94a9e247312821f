#include "transfer/precise_pacer.h"

#include <algorithm>

#if defined(__x86_64__) || defined(__i386__) || defined(_M_X64) || defined(_M_IX86)
#include <immintrin.h>
#define RDSQ7_CPU_RELAX() _mm_pause()
#else
#define RDSQ7_CPU_RELAX() ((void)0)
#endif

#include "transfer/os_sleep.h"

namespace transfer {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

// Kept in hand beyond the largest recent sleep overshoot.
constexpr microseconds kLeadSpare{40};
constexpr microseconds kMinLead{60};
// A 15.6 ms default Windows timer tick plus spare; beyond that sleeping gains nothing.
constexpr milliseconds kMaxLead{17};
static_assert(kMinLead > kLeadSpare && kMaxLead > kMinLead);

}  // namespace

void PrecisePacer::Learn(Clock::duration overshoot) {
  const Clock::duration wanted =
      std::clamp<Clock::duration>(overshoot + kLeadSpare, kMinLead, kMaxLead);
  // Rise at once after a late wake-up, shrink slowly after early ones.
  lead_ = wanted > lead_ ? wanted : lead_ - (lead_ - wanted) / 16;
}

void PrecisePacer::WaitUntil(Clock::time_point deadline) {
  const Clock::time_point start = Now();
  if (start >= deadline) return;
  const Clock::time_point wake = deadline - lead_;
  if (wake > start) {
    OsSleepUntil(wake);
    Learn(Now() - wake);
  }
  const Clock::time_point spin_start = Now();
  Clock::time_point now = spin_start;
  while (now < deadline) {
    RDSQ7_CPU_RELAX();
    now = Now();
  }
  busy_ += now - spin_start;
  waited_ += now - start;
}

}  // namespace transfer

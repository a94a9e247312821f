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

// Kept in hand beyond the usual sleep overshoot.
constexpr microseconds kLeadSpare{40};
constexpr microseconds kMinLead{60};
static_assert(kMinLead > kLeadSpare);

}  // namespace

void PrecisePacer::Learn(Clock::duration overshoot) {
  overshoots_[next_] = std::max(overshoot, Clock::duration::zero());
  next_ = (next_ + 1) % kSamples;
  samples_ = std::min(samples_ + 1, kSamples);
  std::array<Clock::duration, kSamples> sorted = overshoots_;
  const auto percentile = sorted.begin() + samples_ * 7 / 8;
  std::nth_element(sorted.begin(), percentile, sorted.begin() + samples_);
  const Clock::duration limit = std::max<Clock::duration>(OsSleepLeadLimit(), kMinLead);
  lead_ = std::clamp<Clock::duration>(*percentile + kLeadSpare, kMinLead, limit);
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

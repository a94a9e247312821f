#include <sys/resource.h>

#include "app/process_priority.h"

namespace app {
namespace {

// Nice values standing in for the high and normal priority classes. Lowering the nice
// value needs CAP_SYS_NICE (or a raised RLIMIT_NICE); without it the call fails harmlessly.
constexpr int kHighNice = -10;
constexpr int kNormalNice = 0;

}  // namespace

void SetHighPriority(bool high) {
  (void)::setpriority(PRIO_PROCESS, 0, high ? kHighNice : kNormalNice);
}

}  // namespace app

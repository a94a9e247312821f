#include <dirent.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>

#include "appcore/process_priority.h"

namespace app {
namespace {

// Nice values standing in for the high and normal priority classes. Lowering the nice
// value needs CAP_SYS_NICE (or a raised RLIMIT_NICE); without it the call fails harmlessly.
constexpr int kHighNice = -10;
constexpr int kNormalNice = 0;

}  // namespace

// On Linux a nice value belongs to one thread, and PRIO_PROCESS with the id of a thread acts
// on that thread only. So every thread listed now is set, the calling one explicitly as
// well: threads started later take the nice value of the thread that starts them.
void SetHighPriority(bool high) {
  const int nice = high ? kHighNice : kNormalNice;
  (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), nice);
  DIR* tasks = ::opendir("/proc/self/task");
  if (!tasks) return;
  while (const dirent* entry = ::readdir(tasks)) {
    char* end = nullptr;
    const long tid = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0' || tid <= 0) continue;  // "." and ".."
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
  }
  ::closedir(tasks);
}

}  // namespace app

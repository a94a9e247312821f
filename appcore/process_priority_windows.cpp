#include <windows.h>

#include "appcore/process_priority.h"

namespace app {

void SetHighPriority(bool high) {
  (void)::SetPriorityClass(::GetCurrentProcess(),
                           high ? HIGH_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS);
}

}  // namespace app

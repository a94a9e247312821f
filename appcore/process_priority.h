#pragma once

namespace app {

// Puts the whole process into the high or the normal priority class: on Linux every thread
// it has, and the threads the calling thread starts later. A refusal by the system (an
// unprivileged user on Linux) is ignored: the option is best effort.
void SetHighPriority(bool high);

}  // namespace app

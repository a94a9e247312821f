#include "appcore/command_run.h"

namespace app {

std::string CutShortEnding(std::chrono::milliseconds timeout, bool cancelled) {
  if (cancelled) return "stopped";
  return "ended after " + (timeout < std::chrono::seconds(1)
                               ? std::to_string(timeout.count()) + " ms"
                               : std::to_string(timeout.count() / 1000) + " s");
}

}  // namespace app

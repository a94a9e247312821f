#pragma once

namespace app {

// The whole life of the process: the single-instance test, the window, the message loop
// and the way out. Returns the process exit code, 0 on every path.
int RunApplication(int argc, char** argv);

}  // namespace app

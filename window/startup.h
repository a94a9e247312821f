#pragma once

#include <string>

#include "appcore/single_instance.h"

class TForm1;

namespace app {

// The whole life of the process: the single-instance test, the window, the message loop
// and the way out. Returns the process exit code, 0 on every path.
int RunApplication(int argc, char** argv);

// The same once the application object exists. instance_name names the object that marks a
// running instance; tests give one of their own so that a running program does not meet them.
int RunProgram(const std::string& instance_name = kInstanceName);

// Shows the window and runs the message loop until the window is closed. The loop is one
// of its own, not the application-wide one: ending that would also end a message box that
// is still open at that moment, such as the error box of a failed save in the Exit handler.
void RunMessageLoop(TForm1& form);

}  // namespace app

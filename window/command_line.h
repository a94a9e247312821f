#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace app {

// The window takes no arguments of its own but the usual two: --help (-h) and --version
// print and end the program before any window exists, so they need no display. Every other
// argument is ignored, as it always was; "--" ends the options. args excludes the program's
// own name. Returns the exit status when the program is to end, nullopt to start the window.
std::optional<int> AnswerCommandLine(const std::vector<std::string>& args, std::ostream& out);
// The text those two print, nullopt when the window is to start.
std::optional<std::string> CommandLineAnswer(const std::vector<std::string>& args);
// On Windows, before an answer is printed: the console of the program that started this one.
void UseParentConsole();

}  // namespace app

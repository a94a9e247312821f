#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace cli {

// True when the process's standard error goes to a terminal (so a progress bar is seen
// and not written into a log file).
bool StderrIsTerminal();

// Output is the same bytes on every system: LF line ends, text in UTF-8 (on Windows the
// console is switched to UTF-8 and the streams to binary).
void PrepareStandardStreams();

// Up to size bytes of standard input, read past the C library's buffer (so that a read left
// blocked in another thread holds no lock of it); 0 at its end or on an error.
std::size_t ReadStandardInput(void* buffer, std::size_t size);

// The arguments after the program's name, in UTF-8 whatever the system's code page.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

}  // namespace cli

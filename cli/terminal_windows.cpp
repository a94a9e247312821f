#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include "cli/terminal.h"
#include "transfer/win_text.h"

// After windows.h, which win_text.h brings.
#include <shellapi.h>

namespace cli {

bool StderrIsTerminal() {
  return _isatty(_fileno(stderr)) != 0;
}

void PrepareStandardStreams() {
  SetConsoleOutputCP(CP_UTF8);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

// argv holds the arguments in the ANSI code page, which loses what it cannot hold; the
// wide command line has them all.
std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv + 1, argv + argc);
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(transfer::win::Narrow(wide[i]));
  LocalFree(wide);
  return args;
}

}  // namespace cli

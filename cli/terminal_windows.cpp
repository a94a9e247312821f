#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <algorithm>
#include <cstdlib>

#include "cli/terminal.h"
#include "transfer/win_text.h"

// After windows.h, which win_text.h brings.
#include <shellapi.h>

namespace cli {
namespace {

// The console's output code page before the tool switched it; 0 when it did not.
UINT g_console_code_page = 0;

void RestoreConsoleCodePage() {
  if (g_console_code_page != 0) SetConsoleOutputCP(g_console_code_page);
}

// Ctrl+C, Ctrl+Break or a closed console end the process without exit(); the next handler
// (or the system's) still decides what happens.
BOOL WINAPI RestoreOnConsoleEvent(DWORD) {
  RestoreConsoleCodePage();
  return FALSE;
}

}  // namespace

bool StderrIsTerminal() {
  return _isatty(_fileno(stderr)) != 0;
}

void PrepareStandardStreams() {
  // The console belongs to the shell that started the tool: it gets its code page back
  // however the tool ends, or later programs there print UTF-8 bytes as other characters.
  const UINT code_page = GetConsoleOutputCP();  // 0 without a console
  if (code_page != 0 && code_page != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
    g_console_code_page = code_page;
    std::atexit(RestoreConsoleCodePage);
    SetConsoleCtrlHandler(RestoreOnConsoleEvent, TRUE);
  }
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);  // monitor --input - reads samples, not text
}

std::size_t ReadStandardInput(void* buffer, std::size_t size) {
  const auto most = static_cast<unsigned>(std::min<std::size_t>(size, 1 << 20));
  const int got = _read(_fileno(stdin), buffer, most);
  return got > 0 ? static_cast<std::size_t>(got) : 0;
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

#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <thread>

#include "appcore/command_run.h"
#include "transfer/win_text.h"

namespace app {
namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kPollMs = 50;

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

// The program's environment with `added` in place of any entries of the same names, sorted
// by name as CreateProcess wants it.
std::wstring EnvironmentBlock(const std::vector<std::pair<std::string, std::string>>& added) {
  std::vector<std::wstring> entries;
  if (wchar_t* block = GetEnvironmentStringsW()) {
    for (const wchar_t* e = block; *e; e += wcslen(e) + 1) {
      const std::wstring entry(e);
      // "=C:=C:\\…" entries name no variable: their first '=' is part of the name.
      const std::wstring name = Upper(entry.substr(0, entry.find(L'=', 1)));
      bool replaced = false;
      for (const auto& [n, value] : added)
        replaced = replaced || Upper(transfer::win::Widen(n)) == name;
      if (!replaced) entries.push_back(entry);
    }
    FreeEnvironmentStringsW(block);
  }
  for (const auto& [name, value] : added)
    entries.push_back(transfer::win::Widen(name) + L"=" + transfer::win::Widen(value));
  std::sort(entries.begin(), entries.end(),
            [](const std::wstring& a, const std::wstring& b) { return Upper(a) < Upper(b); });
  std::wstring block;
  for (const std::wstring& e : entries) block += e + L'\0';
  block += L'\0';
  return block;
}

}  // namespace

CommandResult RunCommand(const std::string& command, const std::string& input,
                         const std::vector<std::pair<std::string, std::string>>& environment,
                         std::chrono::milliseconds timeout, const std::atomic<bool>* cancel) {
  CommandResult result;
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE in_read = nullptr, in_write = nullptr, out_read = nullptr, out_write = nullptr;
  if (!CreatePipe(&in_read, &in_write, &inherit, 0) ||
      !CreatePipe(&out_read, &out_write, &inherit, 0)) {
    result.ending = "can't start " + command + ": " + transfer::win::SystemMessage(GetLastError());
    for (HANDLE h : {in_read, in_write, out_read, out_write})
      if (h) CloseHandle(h);
    return result;
  }
  SetHandleInformation(in_write, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(out_read, HANDLE_FLAG_INHERIT, 0);
  HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job) {
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = in_read;
  startup.hStdOutput = out_write;
  startup.hStdError = out_write;
  std::wstring line = L"cmd.exe /d /s /c \"" + transfer::win::Widen(command) + L"\"";
  std::wstring env = EnvironmentBlock(environment);
  PROCESS_INFORMATION info{};
  const BOOL started =
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                     CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, env.data(),
                     nullptr, &startup, &info);
  const DWORD error = GetLastError();
  CloseHandle(in_read);
  CloseHandle(out_write);
  if (!started) {
    CloseHandle(in_write);
    CloseHandle(out_read);
    if (job) CloseHandle(job);
    result.ending = "can't start " + command + ": " + transfer::win::SystemMessage(error);
    return result;
  }
  if (job) AssignProcessToJobObject(job, info.hProcess);
  ResumeThread(info.hThread);
  CloseHandle(info.hThread);
  result.started = true;

  // Both ends block, so each gets a thread; they end once the command and all it started
  // are gone.
  std::thread writer([in_write, &input] {
    DWORD done = 0;
    for (std::size_t at = 0; at < input.size(); at += done) {
      if (!WriteFile(in_write, input.data() + at, static_cast<DWORD>(input.size() - at), &done,
                     nullptr))
        break;
    }
    CloseHandle(in_write);
  });
  std::thread reader([out_read, &result] {
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(out_read, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      result.output.append(
          buffer,
          std::min<std::size_t>(got, kOutputKept - std::min(kOutputKept, result.output.size())));
    }
  });

  const Clock::time_point deadline = Clock::now() + timeout;
  while (WaitForSingleObject(info.hProcess, kPollMs) == WAIT_TIMEOUT) {
    if (Clock::now() >= deadline || (cancel && cancel->load())) {
      result.timed_out = true;
      break;
    }
  }
  // Ends the command on a timeout, and whatever it left running in any case.
  if (job) {
    TerminateJobObject(job, 1);
  } else if (result.timed_out) {
    TerminateProcess(info.hProcess, 1);
  }
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  writer.join();
  reader.join();
  CloseHandle(out_read);
  if (job) CloseHandle(job);
  if (result.timed_out) {
    result.ending = CutShortEnding(timeout, cancel && cancel->load() && Clock::now() < deadline);
  } else {
    result.exit_status = static_cast<int>(code);
    result.ending = "exited with status " + std::to_string(code);
  }
  return result;
}

}  // namespace app

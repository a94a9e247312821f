#include <windows.h>

#include <mutex>
#include <stdexcept>
#include <string>

#include "appcore/child_process.h"
#include "transfer/win_text.h"

namespace app {
namespace {}  // namespace

struct ChildProcess::Os {
  HANDLE process = nullptr;
  HANDLE job = nullptr;  // the command and whatever it starts, ended together
  HANDLE out = nullptr;
  std::mutex mutex;
  bool stopped = false;
};

ChildProcess::ChildProcess(const std::string& command) : os_(std::make_unique<Os>()) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE write_end = nullptr;
  if (!CreatePipe(&os_->out, &write_end, &inherit, 0)) {
    throw std::runtime_error("can't start " + command + ": " +
                             transfer::win::SystemMessage(GetLastError()));
  }
  SetHandleInformation(os_->out, HANDLE_FLAG_INHERIT, 0);
  os_->job = CreateJobObjectW(nullptr, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  if (os_->job) {
    SetInformationJobObject(os_->job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = write_end;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  std::wstring line = L"cmd.exe /d /s /c \"" + transfer::win::Widen(command) + L"\"";
  PROCESS_INFORMATION info{};
  const BOOL started =
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                     CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info);
  const DWORD error = GetLastError();
  CloseHandle(write_end);
  if (!started) {
    CloseHandle(os_->out);
    if (os_->job) CloseHandle(os_->job);
    throw std::runtime_error("can't start " + command + ": " + transfer::win::SystemMessage(error));
  }
  if (os_->job) AssignProcessToJobObject(os_->job, info.hProcess);
  ResumeThread(info.hThread);
  CloseHandle(info.hThread);
  os_->process = info.hProcess;
}

ChildProcess::~ChildProcess() {
  Stop();
  WaitForSingleObject(os_->process, INFINITE);
  CloseHandle(os_->process);
  if (os_->job) CloseHandle(os_->job);
  CloseHandle(os_->out);
}

std::size_t ChildProcess::Read(void* buffer, std::size_t size) {
  DWORD got = 0;
  if (!ReadFile(os_->out, buffer, static_cast<DWORD>(size), &got, nullptr)) return 0;
  return got;
}

void ChildProcess::Stop() {
  std::lock_guard lock(os_->mutex);
  if (os_->stopped) return;
  os_->stopped = true;
  if (os_->job) {
    TerminateJobObject(os_->job, 1);
  } else {
    TerminateProcess(os_->process, 1);
  }
  // A ReadFile blocked in another thread returns once every writer of the pipe has gone.
}

std::string ChildProcess::Ending() {
  WaitForSingleObject(os_->process, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(os_->process, &code);
  return "exited with status " + std::to_string(code);
}

}  // namespace app

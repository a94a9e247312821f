// Windows: serve registered with, started and stopped by the service control manager.
#include <shlobj.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <utility>

#include "cmdline/quote.h"
#include "serve/service_host.h"
#include "transfer/win_text.h"

namespace serve {
namespace {

using transfer::win::Narrow;
using transfer::win::Widen;

// How long starting may take, and how long the manager waits between signs of progress
// while serve stops (the running send finishes, waiting changes go out after the throttle).
constexpr DWORD kStartWaitHintMs = 10000;
constexpr DWORD kStopWaitHintMs = 30000;
constexpr std::chrono::seconds kProgressInterval{5};
// How long --remove-service waits for a running service to stop.
constexpr std::chrono::seconds kRemoveStopLimit{90};
// What an installed command line holds, so that --remove-service leaves others' services.
constexpr wchar_t kServiceMark[] = L" serve --service ";

struct ServiceHandleCloser {
  void operator()(SC_HANDLE handle) const { ::CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

[[noreturn]] void Fail(const std::string& what, DWORD error) {
  std::string reason;
  switch (error) {
    case ERROR_ACCESS_DENIED:
      reason = "access denied; run as administrator";
      break;
    case ERROR_SERVICE_EXISTS:
    case ERROR_DUPLICATE_SERVICE_NAME:
      reason = "the name is taken by another service";
      break;
    case ERROR_SERVICE_DOES_NOT_EXIST:
      reason = "no such service";
      break;
    case ERROR_SERVICE_MARKED_FOR_DELETE:
      reason = "it is being removed already (close the Services window to finish that)";
      break;
    default:
      reason = transfer::win::SystemMessage(error);
  }
  throw std::runtime_error(what + ": " + reason);
}

ServiceHandle OpenManager(const std::string& what, DWORD access) {
  ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, access));
  if (!manager) Fail(what, ::GetLastError());
  return manager;
}

// Written where an administrator looks when a service will not start and has no log yet.
void ReportToEventLog(const std::string& name, const std::string& message) {
  HANDLE source = ::RegisterEventSourceW(nullptr, Widen(name).c_str());
  if (source == nullptr) return;
  const std::wstring text = Widen("serve stopped: " + message);
  LPCWSTR strings[] = {text.c_str()};
  ::ReportEventW(source, EVENTLOG_ERROR_TYPE, 0, 1, nullptr, 1, 0, strings, nullptr);
  ::DeregisterEventSource(source);
}

// The one service this process runs, between the manager's threads and serve's.
class Session : public ServiceControl {
 public:
  Session(std::string name, const std::function<int(ServiceControl&)>& serve)
      : name_(std::move(name)), serve_(serve) {}

  void Main() {
    handle_ = ::RegisterServiceCtrlHandlerExW(Widen(name_).c_str(), &Session::Handler, this);
    if (handle_ == nullptr) return;
    {
      const std::lock_guard lock(mutex_);
      Report(SERVICE_START_PENDING, kStartWaitHintMs);
    }
    std::thread progress([this] { ShowProgress(); });
    int status = 1;
    try {
      status = serve_(*this);
    } catch (const std::exception& e) {
      ReportToEventLog(name_, e.what());
    }
    {
      const std::lock_guard lock(mutex_);
      ended_ = true;
      exit_status_ = status;
    }
    changed_.notify_all();
    progress.join();
    const std::lock_guard lock(mutex_);
    status_.dwWin32ExitCode = status == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status_.dwServiceSpecificExitCode = static_cast<DWORD>(status);
    Report(SERVICE_STOPPED, 0);
  }

  void Running(std::function<void()> stop) override {
    std::unique_lock lock(mutex_);
    if (stop_asked_) {  // STOP came while serve was starting
      lock.unlock();
      stop();
      return;
    }
    stop_ = std::move(stop);
    Report(SERVICE_RUNNING, 0);
  }

  void Ending() override {
    const std::lock_guard lock(mutex_);
    stop_ = nullptr;
  }

  int ExitStatus() {
    const std::lock_guard lock(mutex_);
    return exit_status_;
  }

 private:
  static DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID context) {
    switch (control) {
      case SERVICE_CONTROL_STOP:
      case SERVICE_CONTROL_SHUTDOWN:
        static_cast<Session*>(context)->AskStop();
        return NO_ERROR;
      case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
      default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
  }

  // The stop only hands over to serve's thread, so it is called under the lock: Ending()
  // cannot take it away half-way.
  void AskStop() {
    const std::lock_guard lock(mutex_);
    if (stop_asked_ || ended_) return;
    stop_asked_ = true;
    Report(SERVICE_STOP_PENDING, kStopWaitHintMs);
    if (stop_) std::exchange(stop_, nullptr)();
  }

  // While serve starts or stops, the manager is told every few seconds that it still does.
  void ShowProgress() {
    std::unique_lock lock(mutex_);
    while (!changed_.wait_for(lock, kProgressInterval, [this] { return ended_; })) {
      if (status_.dwCurrentState == SERVICE_START_PENDING ||
          status_.dwCurrentState == SERVICE_STOP_PENDING) {
        ++status_.dwCheckPoint;
        ::SetServiceStatus(handle_, &status_);
      }
    }
  }

  // Called with mutex_ held.
  void Report(DWORD state, DWORD wait_hint_ms) {
    status_.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status_.dwCurrentState = state;
    status_.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    status_.dwWaitHint = wait_hint_ms;
    status_.dwCheckPoint = wait_hint_ms == 0 ? 0 : 1;
    ::SetServiceStatus(handle_, &status_);
  }

  const std::string name_;
  const std::function<int(ServiceControl&)>& serve_;
  SERVICE_STATUS_HANDLE handle_ = nullptr;
  std::mutex mutex_;
  std::condition_variable changed_;
  SERVICE_STATUS status_{};
  std::function<void()> stop_;
  bool stop_asked_ = false;
  bool ended_ = false;
  int exit_status_ = 1;
};

Session* running_session = nullptr;  // the manager's callback takes no context

void WINAPI ServiceMain(DWORD, LPWSTR*) {
  running_session->Main();
}

}  // namespace

void RequireServiceManager(const std::string&) {}

std::filesystem::path DefaultServiceLogFolder() {
  wchar_t* folder = nullptr;
  if (::SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &folder) != S_OK) {
    ::CoTaskMemFree(folder);
    throw std::runtime_error("can't find the ProgramData folder for the service's log");
  }
  const std::filesystem::path path = std::filesystem::path(folder) / L"rdsq7";
  ::CoTaskMemFree(folder);
  return path;
}

std::string InstallService(const std::string& name,
                           const std::vector<std::string>& serve_arguments) {
  const std::string what = "can't install service " + cmdline::Quote(name);
  std::wstring program(32768, L'\0');
  program.resize(::GetModuleFileNameW(nullptr, program.data(), 32768));
  const std::string line = WindowsCommandLine(Narrow(program), serve_arguments);

  const ServiceHandle manager = OpenManager(what, SC_MANAGER_CREATE_SERVICE);
  const std::wstring display = Widen("RDS Encoder Q7 serve (" + name + ")");
  const ServiceHandle service(::CreateServiceW(
      manager.get(), Widen(name).c_str(), display.c_str(), SERVICE_CHANGE_CONFIG,
      SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, Widen(line).c_str(),
      nullptr, nullptr, nullptr, L"NT AUTHORITY\\LocalService", nullptr));
  if (!service) Fail(what, ::GetLastError());

  std::wstring about =
      L"Keeps the RDS encoder's data on air, taking changes from automation (rdsq7-cli serve).";
  SERVICE_DESCRIPTIONW description{about.data()};
  ::ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_DESCRIPTION, &description);
  // Started again after a crash, as the systemd unit is.
  SC_ACTION restart[] = {
      {SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 5000}, {SC_ACTION_RESTART, 60000}};
  SERVICE_FAILURE_ACTIONSW actions{};
  actions.dwResetPeriod = 86400;
  actions.cActions = 3;
  actions.lpsaActions = restart;
  ::ChangeServiceConfig2W(service.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &actions);
  return "installed service " + cmdline::Quote(name) +
         " (starts with the system, as LocalService): " + line;
}

std::string RemoveService(const std::string& name) {
  const std::string what = "can't remove service " + cmdline::Quote(name);
  const ServiceHandle manager = OpenManager(what, SC_MANAGER_CONNECT);
  const ServiceHandle service(
      ::OpenServiceW(manager.get(), Widen(name).c_str(),
                     SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG | DELETE));
  if (!service) Fail(what, ::GetLastError());

  DWORD needed = 0;
  ::QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  std::vector<unsigned char> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  if (needed == 0 || !::QueryServiceConfigW(service.get(), config, needed, &needed))
    Fail(what, ::GetLastError());
  if (config->lpBinaryPathName == nullptr ||
      std::wstring(config->lpBinaryPathName).find(kServiceMark) == std::wstring::npos) {
    throw std::runtime_error(what + ": it does not run serve");
  }

  std::string done;
  SERVICE_STATUS status{};
  if (!::QueryServiceStatus(service.get(), &status)) Fail(what, ::GetLastError());
  if (status.dwCurrentState != SERVICE_STOPPED) {
    if (status.dwCurrentState != SERVICE_STOP_PENDING &&
        !::ControlService(service.get(), SERVICE_CONTROL_STOP, &status) &&
        ::GetLastError() != ERROR_SERVICE_NOT_ACTIVE) {
      Fail(what + " (stopping it)", ::GetLastError());
    }
    const auto limit = std::chrono::steady_clock::now() + kRemoveStopLimit;
    while (::QueryServiceStatus(service.get(), &status) &&
           status.dwCurrentState != SERVICE_STOPPED) {
      if (std::chrono::steady_clock::now() > limit) {
        throw std::runtime_error(what + ": it did not stop within " +
                                 std::to_string(kRemoveStopLimit.count()) + " s");
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    done += "stopped service " + cmdline::Quote(name) + "\n";
  }
  if (!::DeleteService(service.get())) Fail(what, ::GetLastError());
  return done + "removed service " + cmdline::Quote(name);
}

int RunAsService(const std::string& name, const std::function<int(ServiceControl&)>& serve) {
  Session session(name, serve);
  running_session = &session;
  std::wstring wide_name = Widen(name);
  const SERVICE_TABLE_ENTRYW table[] = {{wide_name.data(), &ServiceMain}, {nullptr, nullptr}};
  if (!::StartServiceCtrlDispatcherW(table)) {
    const DWORD error = ::GetLastError();
    running_session = nullptr;
    if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) {
      throw std::runtime_error(
          "option --service: only the service control manager starts serve with it; run serve "
          "without --service in a console");
    }
    Fail("can't run as service " + cmdline::Quote(name), error);
  }
  running_session = nullptr;
  return session.ExitStatus();
}

}  // namespace serve

#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace serve {

// serve as a Windows service: registered with the service control manager, started by it
// and stopped by it. Elsewhere each of these throws UsageError (systemd runs serve there).

// What serve tells the service manager while the manager runs it.
class ServiceControl {
 public:
  virtual ~ServiceControl() = default;
  // serve's ports are open. The manager's STOP or SHUTDOWN then calls `stop`, once, on a
  // thread of the manager's: it must only hand the stop over to serve's own thread.
  virtual void Running(std::function<void()> stop) = 0;
  // serve is ending and takes no more stops: the function given to Running is dropped.
  virtual void Ending() = 0;
};

// Throws UsageError naming `option` where there is no service control manager.
void RequireServiceManager(const std::string& option);

// Registers serve under `name`: automatic start, as the LocalService account, with
// `serve_arguments` (from ServiceArguments) on its command line. Returns what was done, one
// line; throws std::runtime_error ("run as administrator", a name that is taken).
std::string InstallService(const std::string& name,
                           const std::vector<std::string>& serve_arguments);

// Stops the service `name` when it runs (waiting for it to end), then removes it. Returns
// what was done, one line per step; throws std::runtime_error.
std::string RemoveService(const std::string& name);

// Hands this process to the service manager, which calls `serve` on a thread of its own;
// returns serve's exit status once it has ended (and reported it as the service's).
int RunAsService(const std::string& name, const std::function<int(ServiceControl&)>& serve);

// The folder an installed service logs to unless its options name a --log file
// (%ProgramData%\rdsq7 on Windows).
std::filesystem::path DefaultServiceLogFolder();

// Checks a service name (also the name of its log file): throws UsageError.
void CheckServiceName(const std::string& option, const std::string& name);

// The arguments the service manager starts serve with: "serve --service NAME", a --log file
// in `log_folder` unless `options` name one, then `options` (serve's, as typed, without the
// --install-service that asked for this) with the files they name made absolute from
// `current_folder`, since the service runs in a folder of the system's.
std::vector<std::string> ServiceArguments(const std::string& name,
                                          const std::vector<std::string>& options,
                                          const std::filesystem::path& log_folder,
                                          const std::filesystem::path& current_folder);

// A command line that Windows programs split back into `program` and `arguments`.
std::string WindowsCommandLine(const std::string& program,
                               const std::vector<std::string>& arguments);

}  // namespace serve

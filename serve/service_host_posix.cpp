// Outside Windows there is no service control manager: systemd runs serve from its unit.
#include "cmdline/usage_error.h"
#include "serve/service_host.h"

namespace serve {
namespace {

[[noreturn]] void OnlyOnWindows(const std::string& option) {
  throw cmdline::UsageError("option " + option +
                            ": only on Windows; use the systemd unit rdsq7-serve@NAME");
}

}  // namespace

void RequireServiceManager(const std::string& option) {
  OnlyOnWindows(option);
}

std::string InstallService(const std::string&, const std::vector<std::string>&) {
  OnlyOnWindows("--install-service");
}

std::string RemoveService(const std::string&) {
  OnlyOnWindows("--remove-service");
}

int RunAsService(const std::string&, const std::function<int(ServiceControl&)>&) {
  OnlyOnWindows("--service");
}

std::filesystem::path DefaultServiceLogFolder() {
  OnlyOnWindows("--install-service");
}

}  // namespace serve

// Windows: a named mutex in the session's namespace (no "Global\" prefix), so every logon
// has its own. The system discards it when the holding process ends.
#include <windows.h>

#include "appcore/single_instance.h"

namespace app {

SingleInstance::SingleInstance(const std::string& name) {
  HANDLE mutex = ::CreateMutexA(nullptr, TRUE, name.c_str());
  if (mutex == nullptr) return;
  already_running_ = (::GetLastError() == ERROR_ALREADY_EXISTS);
  handle_ = reinterpret_cast<long long>(mutex);
}

SingleInstance::~SingleInstance() {
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace app

// Linux: a unix socket bound to a name in the abstract namespace. The kernel frees the
// name when the last descriptor closes, which includes a crash or kill -9. The abstract
// namespace is shared by all users of the machine, so the name carries the user id.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>

#include "appcore/single_instance.h"

namespace app {

SingleInstance::SingleInstance(const std::string& name) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;

  const std::string abstract_name = name + "." + std::to_string(::getuid());
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // sun_path[0] stays 0: that selects the abstract namespace.
  const std::size_t length = std::min(abstract_name.size(), sizeof(address.sun_path) - 1);
  std::memcpy(address.sun_path + 1, abstract_name.data(), length);
  const auto address_size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);

  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), address_size) == 0) {
    handle_ = fd;
    return;
  }
  already_running_ = (errno == EADDRINUSE);
  ::close(fd);
}

SingleInstance::~SingleInstance() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

}  // namespace app

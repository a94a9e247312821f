// Linux: every process's open descriptors under /proc/PID/fd, compared with the device
// by identity (the link named may be a symbolic link to it).
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "transfer/port_holder.h"

namespace transfer {

std::string PortHolders(const std::string& device) {
  namespace fs = std::filesystem;
  struct stat wanted {};
  if (::stat(device.c_str(), &wanted) != 0) return "";
  const std::string self = std::to_string(::getpid());
  std::string holders;
  std::error_code error;
  for (const auto& process : fs::directory_iterator("/proc", error)) {
    const std::string pid = process.path().filename().string();
    if (pid.find_first_not_of("0123456789") != std::string::npos || pid == self) continue;
    std::error_code ignored;
    for (const auto& fd : fs::directory_iterator(process.path() / "fd", ignored)) {
      struct stat held {};
      if (::stat(fd.path().c_str(), &held) != 0 || held.st_rdev != wanted.st_rdev ||
          held.st_ino != wanted.st_ino || held.st_dev != wanted.st_dev) {
        continue;
      }
      std::string name;
      std::getline(std::ifstream(process.path() / "comm"), name);
      if (!holders.empty()) holders += ", ";
      holders += (name.empty() ? "a program" : name) + " (process " + pid + ")";
      break;
    }
  }
  return holders;
}

}  // namespace transfer

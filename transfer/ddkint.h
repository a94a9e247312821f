#pragma once

#include <cstdint>

// The device-control code rule of the Windows driver kit (CTL_CODE), which the port-I/O
// kernel driver's codes follow.
namespace transfer::ddkint {

constexpr std::uint32_t kMethodBuffered = 0;
constexpr std::uint32_t kFileAnyAccess = 0;

constexpr std::uint32_t CtlCode(std::uint32_t device_type, std::uint32_t function,
                                std::uint32_t method, std::uint32_t access) {
  return device_type * 65536 + access * 16384 + function * 4 + method;
}

}  // namespace transfer::ddkint

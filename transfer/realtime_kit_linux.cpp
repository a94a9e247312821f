#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <optional>

#include "transfer/realtime_kit.h"

namespace transfer {
namespace {

constexpr const char* kService = "org.freedesktop.RealtimeKit1";
constexpr const char* kObject = "/org/freedesktop/RealtimeKit1";
constexpr std::uint64_t kCallTimeoutUs = 2'000'000;

struct BusUnref {
  void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
using Bus = std::unique_ptr<sd_bus, BusUnref>;

// Frees the error's texts whatever the call's outcome.
class BusError {
 public:
  BusError() = default;
  ~BusError() { sd_bus_error_free(&error_); }
  BusError(const BusError&) = delete;
  BusError& operator=(const BusError&) = delete;
  sd_bus_error* get() { return &error_; }

 private:
  sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

// The service's limits; nothing where there is no service.
template <typename T>
std::optional<T> Property(sd_bus* bus, const char* name, char type) {
  BusError error;
  T value{};
  if (sd_bus_get_property_trivial(bus, kService, kObject, kService, name, error.get(), type,
                                  &value) < 0) {
    return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<int> AskRealtimeKit(int priority) {
  sd_bus* raw = nullptr;
  if (sd_bus_open_system(&raw) < 0) return std::nullopt;
  const Bus bus(raw);
  (void)sd_bus_set_method_call_timeout(bus.get(), kCallTimeoutUs);

  const auto most = Property<std::int32_t>(bus.get(), "MaxRealtimePriority", 'i');
  const auto rttime_us = Property<std::int64_t>(bus.get(), "RTTimeUSecMax", 'x');
  if (!most || !rttime_us) return std::nullopt;
  if (priority > *most) priority = *most;
  if (priority < 1 || *rttime_us <= 0) return std::nullopt;

  // The sending thread blocks every few milliseconds, far within the limit.
  rlimit limit{};
  if (::getrlimit(RLIMIT_RTTIME, &limit) != 0) return std::nullopt;
  const auto cap = static_cast<rlim_t>(*rttime_us);
  if (limit.rlim_max == RLIM_INFINITY || limit.rlim_max > cap) {
    limit.rlim_cur = limit.rlim_max = cap;
    if (::setrlimit(RLIMIT_RTTIME, &limit) != 0) return std::nullopt;
  }

  BusError error;
  const auto thread = static_cast<std::uint64_t>(::syscall(SYS_gettid));
  if (sd_bus_call_method(bus.get(), kService, kObject, kService, "MakeThreadRealtime", error.get(),
                         nullptr, "tu", thread, static_cast<std::uint32_t>(priority)) < 0) {
    return std::nullopt;
  }
  const int policy = ::sched_getscheduler(0) & ~SCHED_RESET_ON_FORK;
  if (policy != SCHED_RR && policy != SCHED_FIFO) return std::nullopt;
  return priority;
}

}  // namespace transfer

#pragma once

#include <chrono>
#include <functional>
#include <string>

// Linux: claiming a parallel port (ppdev's PPCLAIM) for one send, without waiting forever
// on another program that holds it.
namespace transfer {

// How long a send waits for another program (a print job, another send) to let go of the
// parallel port before it gives up.
constexpr std::chrono::milliseconds kParallelClaimWaitMs{1000};

// Runs claim on this thread: a blocking call that returns 0 or an errno value, and EINTR
// when a signal interrupts it (the ioctl PPCLAIM does). Once wait_ms has passed the call is
// interrupted. Throws PortAccessError naming port_name when the port was still held then,
// or when the call failed otherwise.
void ClaimWithin(const std::function<int()>& claim, const std::string& port_name,
                 std::chrono::milliseconds wait_ms = kParallelClaimWaitMs);

}  // namespace transfer

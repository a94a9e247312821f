#pragma once

#include <string>

namespace transfer {

// The other programs that hold a device open, as "rdsq7 (process 812)", separated by
// commas; "" when none can be seen (another user's processes, or a system that does not
// tell). For a port that would not open, so that the message says who has it.
std::string PortHolders(const std::string& device);

}  // namespace transfer

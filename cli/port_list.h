#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// The names among a system's device names that are ports of one kind (prefix "COM" or
// "LPT" followed by a number), in capitals and in number order: COM2 before COM10.
std::vector<std::string> PortNames(const std::vector<std::string>& device_names,
                                   std::string_view prefix);

// Windows: the COM and LPT ports present, each with the name its driver gives it (a USB
// adapter's product) where the system has one, and how the window's COM1 and COM2 reach an
// adapter with another number.
void ListWindowsPorts(std::ostream& out);

}  // namespace cli

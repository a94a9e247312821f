#include "cli/port_list.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace cli {

std::vector<std::string> PortNames(const std::vector<std::string>& device_names,
                                   std::string_view prefix) {
  std::vector<std::pair<unsigned long, std::string>> found;
  for (const std::string& name : device_names) {
    if (name.size() <= prefix.size() || name.size() > prefix.size() + 3) continue;
    std::string upper = name;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const std::string_view digits = std::string_view(upper).substr(prefix.size());
    if (upper.compare(0, prefix.size(), prefix) != 0 || digits.front() == '0' ||
        !std::all_of(digits.begin(), digits.end(),
                     [](unsigned char c) { return std::isdigit(c) != 0; })) {
      continue;
    }
    found.emplace_back(std::stoul(std::string(digits)), std::move(upper));
  }
  std::sort(found.begin(), found.end());
  found.erase(std::unique(found.begin(), found.end()), found.end());
  std::vector<std::string> names;
  for (auto& entry : found) names.push_back(std::move(entry.second));
  return names;
}

}  // namespace cli

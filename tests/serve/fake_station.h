#pragma once

#include <string>
#include <vector>

#include "serve/station_control.h"

namespace serve::testing {

// A station state that notes what the command ports did to it.
class FakeStation final : public StationControl {
 public:
  const rds::StationSettings& Settings() const override { return settings; }
  void Change(const rds::StationSettings& next, const std::string& fields,
              SaveReport saved) override {
    settings = next;
    changes.push_back(fields);
    if (saved) saved(save_failure);
  }
  void RequestSend() override { ++send_requests; }
  std::string Status() const override { return "STATUS none"; }
  std::optional<std::string> CallLetters() const override { return call_letters; }

  rds::StationSettings settings;
  std::vector<std::string> changes;
  int send_requests = 0;
  std::optional<std::string> save_failure;
  std::optional<std::string> call_letters;
};

}  // namespace serve::testing

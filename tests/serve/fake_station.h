#pragma once

#include <functional>
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
    if (!saved) return;
    if (defer) return defer([saved, failure = save_failure] { saved(failure); });
    saved(save_failure);
  }
  void RequestSend() override { ++send_requests; }
  std::string Status() const override { return "STATUS none"; }
  std::optional<std::string> CallLetters() const override { return call_letters; }

  rds::StationSettings settings;
  std::vector<std::string> changes;
  int send_requests = 0;
  std::optional<std::string> save_failure;
  std::optional<std::string> call_letters;
  // When set, each save is told through it: later, as a slow disk tells it.
  std::function<void(std::function<void()>)> defer;
};

}  // namespace serve::testing

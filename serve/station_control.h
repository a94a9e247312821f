#pragma once

#include <optional>
#include <string>

#include "rds/station.h"

namespace serve {

// What the command ports may do with the one station state that serve keeps. All calls
// come on the network thread.
class StationControl {
 public:
  virtual ~StationControl() = default;

  virtual const rds::StationSettings& Settings() const = 0;
  // Takes next as the new state and asks for a send; fields names what changed ("PS,TA").
  virtual void Change(const rds::StationSettings& next, const std::string& fields) = 0;
  // Asks for a send of the state as it is.
  virtual void RequestSend() = 0;
  // One line on the last send: its result and time.
  virtual std::string Status() const = 0;
  // Why the settings file is not being saved, while it is not.
  virtual std::optional<std::string> SaveFailure() const = 0;
};

}  // namespace serve

#pragma once

#include <functional>
#include <optional>
#include <string>

#include "rds/station.h"

namespace serve {

// What the command ports may do with the one station state that serve keeps. All calls
// come on the network thread.
class StationControl {
 public:
  virtual ~StationControl() = default;

  // Told, on the network thread, whether the settings file now holds a change: nullopt, or
  // why its save failed. Without a settings file it is told at once.
  using SaveReport = std::function<void(const std::optional<std::string>& failure)>;

  virtual const rds::StationSettings& Settings() const = 0;
  // Takes next as the new state and asks for a send; fields names what changed ("PS,TA").
  // saved, when given, hears once the save that holds this change has ended.
  virtual void Change(const rds::StationSettings& next, const std::string& fields,
                      SaveReport saved) = 0;
  // Asks for a send of the state as it is.
  virtual void RequestSend() = 0;
  // One line on the last send: its result and time.
  virtual std::string Status() const = 0;
  // The station's call letters, when serve was given them: a PI is checked against them.
  virtual std::optional<std::string> CallLetters() const { return std::nullopt; }
  // Sends a test event to the alarm commands: "OK", or "NO reason".
  virtual std::string TestAlarm() { return "NO no alarm command is set"; }
};

}  // namespace serve

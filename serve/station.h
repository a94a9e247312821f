#pragma once

#include <asio/io_context.hpp>
#include <asio/steady_timer.hpp>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "appcore/settings_file.h"
#include "serve/log.h"
#include "serve/send_worker.h"
#include "serve/station_control.h"
#include "transfer/time_of_day.h"

namespace cli {

// Changes this close together go out in one send.
constexpr std::chrono::milliseconds kCoalesceWindow{200};
// A stream of changes never holds a send back longer than this after its first change.
constexpr std::chrono::milliseconds kCoalesceLimit{1000};
// A failed send is tried again, with the state as it is then, after this long.
constexpr std::chrono::seconds kRetryDelay{5};

struct ServeStationOptions {
  std::optional<std::filesystem::path> settings_file;  // saved on every change and send
  std::chrono::seconds ta_timeout{0};                  // 0: TA stays as set
};

// The one station state of serve and its sends, on the network thread: every accepted
// change is saved and asks for a send; changes within kCoalesceWindow of each other, or
// made while a send runs, go out together; no send starts sooner than the window's
// throttle allows after the previous one, and none is interrupted.
class ServeStation final : public StationControl {
 public:
  ServeStation(asio::io_context& io, app::SettingsValues start, ServeStationOptions options,
               SendWorker& worker, ServeLog& log);

  const rds::StationSettings& Settings() const override { return values_.station; }
  void Change(const rds::StationSettings& next, const std::string& fields) override;
  void RequestSend() override;
  std::string Status() const override { return status_; }

  // Starts no further send, lets a running one finish, saves, then calls done.
  void Stop(std::function<void()> done);

 private:
  void Schedule(bool now);
  void TryStart();
  void Finished(const SendOutcome& outcome);
  void Save();
  void ArmTaTimeout();

  asio::io_context& io_;
  app::SettingsValues values_;
  ServeStationOptions options_;
  SendWorker& worker_;
  ServeLog& log_;
  asio::steady_timer send_timer_;
  asio::steady_timer ta_timer_;
  transfer::SystemTimeOfDayClock clock_;

  std::string pending_fields_;
  bool pending_ = false;
  std::chrono::steady_clock::time_point first_pending_{};
  std::chrono::steady_clock::time_point last_change_{};

  bool sending_ = false;
  bool retrying_ = false;
  bool stopping_ = false;
  std::string sent_fields_;
  std::chrono::steady_clock::time_point sent_first_{};
  rds::StationSettings sent_;
  std::optional<transfer::TimeOfDay> last_send_end_;
  std::string status_ = "STATUS none";
  std::function<void()> stopped_;
};

}  // namespace cli

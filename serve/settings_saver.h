#pragma once

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "appcore/settings_file.h"

namespace serve {

// Saves serve's settings file on a thread of its own, so that a slow disk never holds up
// the network: each save is atomic (as the window saves), and values handed over while a
// save runs are coalesced, so the file always ends with the latest state.
class SettingsSaver {
 public:
  // done is called on the saver's thread after each save with the number of the latest
  // values that save wrote (each Save numbers its values 1, 2, ...): nullopt, or why it failed.
  using Done = std::function<void(std::uint64_t saved, std::optional<std::string> failure)>;

  SettingsSaver(std::filesystem::path path, Done done);
  ~SettingsSaver();  // finishes the latest save first
  SettingsSaver(const SettingsSaver&) = delete;
  SettingsSaver& operator=(const SettingsSaver&) = delete;

  // Returns the number of these values, which done reports once a save has written them.
  std::uint64_t Save(app::SettingsValues values);
  // Waits until everything handed over is on disk (or has failed); returns why the last
  // save failed, if it did.
  std::optional<std::string> Flush();

 private:
  void Loop();

  std::filesystem::path path_;
  Done done_;
  std::mutex mutex_;
  std::condition_variable wake_, idle_;
  std::optional<app::SettingsValues> waiting_;
  std::uint64_t handed_ = 0;  // the number of the latest values handed over
  std::optional<std::string> last_failure_;
  bool saving_ = false;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace serve

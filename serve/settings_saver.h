#pragma once

#include <condition_variable>
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
  // done is called on the saver's thread after each save: nullopt, or why it failed.
  using Done = std::function<void(std::optional<std::string> failure)>;

  SettingsSaver(std::filesystem::path path, Done done);
  ~SettingsSaver();  // finishes the latest save first
  SettingsSaver(const SettingsSaver&) = delete;
  SettingsSaver& operator=(const SettingsSaver&) = delete;

  void Save(app::SettingsValues values);
  // Waits until everything handed over is on disk (or has failed).
  void Flush();

 private:
  void Loop();

  std::filesystem::path path_;
  Done done_;
  std::mutex mutex_;
  std::condition_variable wake_, idle_;
  std::optional<app::SettingsValues> waiting_;
  bool saving_ = false;
  bool quit_ = false;
  std::thread thread_;
};

}  // namespace serve

#include "serve/settings_saver.h"

namespace serve {

SettingsSaver::SettingsSaver(std::filesystem::path path, Done done)
    : path_(std::move(path)), done_(std::move(done)), thread_([this] { Loop(); }) {}

SettingsSaver::~SettingsSaver() {
  {
    const std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

std::uint64_t SettingsSaver::Save(app::SettingsValues values) {
  std::uint64_t number = 0;
  {
    const std::lock_guard lock(mutex_);
    waiting_ = std::move(values);
    number = ++handed_;
  }
  wake_.notify_one();
  return number;
}

std::optional<std::string> SettingsSaver::Flush() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return !waiting_ && !saving_; });
  return last_failure_;
}

void SettingsSaver::Loop() {
  std::unique_lock lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return quit_ || waiting_; });
    if (!waiting_) return;
    const app::SettingsValues values = std::move(*waiting_);
    const std::uint64_t number = handed_;
    waiting_.reset();
    saving_ = true;
    lock.unlock();
    std::optional<std::string> failure;
    try {
      app::SaveSettingsFile(path_, values);
    } catch (const std::exception& e) {
      failure = e.what();
    }
    done_(number, failure);
    lock.lock();
    last_failure_ = failure;
    saving_ = false;
    idle_.notify_all();
  }
}

}  // namespace serve

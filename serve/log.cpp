#include "serve/log.h"

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "cmdline/quote.h"

namespace serve {
namespace {

// How long the end of serve waits for a stuck reader before leaving its lines behind.
constexpr std::chrono::seconds kDrainLimit{2};

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// The --log file, written by the log's thread alone.
class LogFile {
 public:
  LogFile(std::filesystem::path path, std::uintmax_t rotate_bytes)
      : path_(std::move(path)), rotate_bytes_(rotate_bytes) {
    if (!Open())
      throw std::runtime_error("can't open " + cmdline::QuotePath(Utf8(path_)) + " for appending");
  }

  void Write(const std::string& line) {
    if (rotate_bytes_ > 0 && size_ > 0 && size_ + line.size() + 1 > limit_) Rotate();
    Append(line);
  }

  // What to log about it.
  std::string Reopen() {
    std::ofstream next(path_, std::ios::app | std::ios::binary);
    if (!next) return "can't reopen the log file; writing on to the one open before";
    out_ = std::move(next);
    size_ = Size();
    return "log file reopened";
  }

 private:
  bool Open() {
    out_.open(path_, std::ios::app | std::ios::binary);
    size_ = Size();
    limit_ = rotate_bytes_;
    return static_cast<bool>(out_);
  }

  std::uintmax_t Size() const {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path_, error);
    return error ? 0 : size;
  }

  void Append(const std::string& line) {
    out_ << line << '\n' << std::flush;
    size_ += line.size() + 1;
  }

  void Rotate() {
    out_.close();
    std::filesystem::path old = path_;
    old += ".1";
    std::error_code error;
    std::filesystem::rename(path_, old, error);
    Open();
    if (!error) return;
    // FILE.1 held open by a reader: this file grows by one more limit before the next try.
    limit_ = size_ + rotate_bytes_;
    Append(IsoTime(std::chrono::system_clock::now()) + " can't rename the log file to " +
           Utf8(old) + ": " + error.message());
  }

  std::filesystem::path path_;
  std::uintmax_t rotate_bytes_;
  std::uintmax_t limit_ = 0;
  std::uintmax_t size_ = 0;
  std::ofstream out_;
};

struct Entry {
  std::string text;
  bool reopen = false;  // the file is opened again before text, which tells how that went
};

}  // namespace

std::string IsoTime(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto ms = floor<milliseconds>(time);
  const auto day = floor<days>(ms);
  const year_month_day date{day};
  const hh_mm_ss clock{ms - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", int(date.year()),
                unsigned(date.month()), unsigned(date.day()), int(clock.hours().count()),
                int(clock.minutes().count()), int(clock.seconds().count()),
                int(clock.subseconds().count()));
  return text;
}

// Shared with the writer thread, which may outlive the log when its reader is stuck.
struct ServeLog::Shared {
  std::ostream* out = nullptr;
  std::unique_ptr<LogFile> file;
  std::mutex mutex;
  std::condition_variable wake, drained;
  std::deque<Entry> lines;
  std::size_t dropped = 0;
  bool writing = false;
  bool quit = false;
};

ServeLog::ServeLog(std::ostream& out) : shared_(std::make_shared<Shared>()) {
  shared_->out = &out;
  Start();
}

ServeLog::ServeLog(const std::filesystem::path& file, std::uintmax_t rotate_bytes)
    : shared_(std::make_shared<Shared>()) {
  shared_->file = std::make_unique<LogFile>(file, rotate_bytes);
  Start();
}

void ServeLog::Start() {
  std::thread([shared = shared_] {
    std::unique_lock lock(shared->mutex);
    while (true) {
      shared->wake.wait(lock, [&] { return shared->quit || !shared->lines.empty(); });
      if (shared->lines.empty()) return;
      Entry entry = std::move(shared->lines.front());
      shared->lines.pop_front();
      shared->writing = true;
      lock.unlock();
      if (entry.reopen) {
        entry.text +=
            shared->file ? shared->file->Reopen() : "the log goes to stdout: nothing to reopen";
      }
      if (shared->file) {
        shared->file->Write(entry.text);
      } else {
        *shared->out << entry.text << std::endl;
      }
      lock.lock();
      shared->writing = false;
      if (shared->lines.empty()) shared->drained.notify_all();
    }
  }).detach();
}

ServeLog::~ServeLog() {
  std::unique_lock lock(shared_->mutex);
  shared_->quit = true;
  shared_->wake.notify_one();
  shared_->drained.wait_for(lock, kDrainLimit,
                            [&] { return shared_->lines.empty() && !shared_->writing; });
}

void ServeLog::Line(const std::string& text) {
  const std::string stamp = IsoTime(std::chrono::system_clock::now()) + ' ';
  const std::lock_guard lock(shared_->mutex);
  if (shared_->lines.size() >= kMaxLogBacklog) {
    ++shared_->dropped;
    return;
  }
  if (shared_->dropped > 0) {
    shared_->lines.push_back(
        {stamp + std::to_string(shared_->dropped) + " log lines dropped: stdout was not read"});
    shared_->dropped = 0;
  }
  shared_->lines.push_back({stamp + text});
  shared_->wake.notify_one();
}

void ServeLog::Reopen() {
  // Never dropped: the lines after it would go to a file that is no longer the log.
  const std::lock_guard lock(shared_->mutex);
  shared_->lines.push_back({IsoTime(std::chrono::system_clock::now()) + ' ', true});
  shared_->wake.notify_one();
}

}  // namespace serve

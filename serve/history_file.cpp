#include "serve/history_file.h"

#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace serve {
namespace {

// Lines waiting for the writer; more are dropped and counted (a disk stuck for long).
constexpr std::size_t kMaxBacklog = 10000;

std::filesystem::path Rotated(const std::filesystem::path& file) {
  return std::filesystem::path(file).concat(".1");
}

}  // namespace

struct HistoryFile::Shared {
  std::filesystem::path file;
  ServeLog& log;
  std::uintmax_t limit;
  std::ofstream out;
  std::uintmax_t size = 0;
  std::mutex mutex;
  std::condition_variable wake, drained;
  std::deque<std::string> lines;
  std::size_t dropped = 0;
  bool failing = false;
  bool writing = false;
  bool quit = false;

  Shared(std::filesystem::path f, ServeLog& l, std::uintmax_t limit_bytes)
      : file(std::move(f)), log(l), limit(limit_bytes) {}

  bool Open() {
    out.open(file, std::ios::app | std::ios::binary);
    std::error_code error;
    size = out ? std::filesystem::file_size(file, error) : 0;
    if (error) size = 0;
    return static_cast<bool>(out);
  }

  void Append(const std::string& line) {
    if (size > 0 && size + line.size() > limit) {
      out.close();
      std::error_code error;
      std::filesystem::remove(Rotated(file), error);
      std::filesystem::rename(file, Rotated(file), error);
      if (error) log.Line("history: can't move " + file.string() + " aside: " + error.message());
      Open();
    }
    if (!out.is_open()) Open();
    out << line << '\n' << std::flush;
    if (out) {
      size += line.size() + 1;
      if (failing) log.Line("history: " + file.string() + " written again");
      failing = false;
    } else {
      if (!failing) log.Line("history: can't write " + file.string());
      failing = true;
      out.close();  // opened again for the next line
    }
  }
};

HistoryFile::HistoryFile(std::filesystem::path file, ServeLog& log, std::uintmax_t limit_bytes)
    : shared_(std::make_shared<Shared>(std::move(file), log, limit_bytes)) {
  // A line cut short by a crash is ended, so that the next one stands on its own.
  bool ends_in_newline = true;
  {
    std::ifstream in(shared_->file, std::ios::binary | std::ios::ate);
    if (in && in.tellg() > 0) {
      in.seekg(-1, std::ios::end);
      ends_in_newline = in.get() == '\n';
    }
  }
  if (!shared_->Open()) {
    throw std::runtime_error("option --history: can't open " + shared_->file.string() +
                             " for appending");
  }
  if (!ends_in_newline) {
    shared_->out << '\n' << std::flush;
    ++shared_->size;
  }
  std::thread([shared = shared_] {
    std::unique_lock lock(shared->mutex);
    while (true) {
      shared->wake.wait(lock, [&] { return shared->quit || !shared->lines.empty(); });
      if (shared->lines.empty()) break;
      std::string line = std::move(shared->lines.front());
      shared->lines.pop_front();
      shared->writing = true;
      lock.unlock();
      shared->Append(line);
      lock.lock();
      shared->writing = false;
      if (shared->lines.empty()) shared->drained.notify_all();
    }
    shared->drained.notify_all();
  }).detach();
}

HistoryFile::~HistoryFile() {
  std::unique_lock lock(shared_->mutex);
  shared_->quit = true;
  shared_->wake.notify_one();
  shared_->drained.wait_for(lock, std::chrono::seconds(5),
                            [&] { return shared_->lines.empty() && !shared_->writing; });
}

void HistoryFile::Write(const std::string& type, const nlohmann::ordered_json& fields) {
  nlohmann::ordered_json record;
  record["time"] = IsoTime(std::chrono::system_clock::now());
  record["type"] = type;
  if (fields.is_object()) {
    for (const auto& [key, value] : fields.items()) record[key] = value;
  }
  std::string line = record.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  const std::lock_guard lock(shared_->mutex);
  if (shared_->lines.size() >= kMaxBacklog) {
    ++shared_->dropped;
    return;
  }
  if (shared_->dropped > 0) {
    shared_->log.Line("history: " + std::to_string(shared_->dropped) +
                      " records dropped: the file was not written in time");
    shared_->dropped = 0;
  }
  shared_->lines.push_back(std::move(line));
  shared_->wake.notify_one();
}

}  // namespace serve

#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "serve/log.h"

namespace serve {

// At this size the history moves to FILE.1 (replacing the one before) and starts anew.
constexpr std::uintmax_t kHistoryLimitBytes = 10 * 1024 * 1024;

// serve's history: one JSON object per line, appended, each with its "time" and "type"
// first. Written by a thread of its own, so that a slow disk never holds up a send.
class HistoryFile {
 public:
  // Opens file for appending, making it if need be; throws std::runtime_error when it can't.
  HistoryFile(std::filesystem::path file, ServeLog& log,
              std::uintmax_t limit_bytes = kHistoryLimitBytes);
  ~HistoryFile();  // writes what waits
  HistoryFile(const HistoryFile&) = delete;
  HistoryFile& operator=(const HistoryFile&) = delete;

  void Write(const std::string& type, const nlohmann::ordered_json& fields = {});

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace serve

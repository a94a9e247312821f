#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "serve/station_status.h"

namespace serve {

// What the status site shows, asked on the network thread for each request.
struct StatusSources {
  ServeIdentity identity;
  std::function<StationStatus()> status;
  // The events of the last hours, and at least the last `last` events, as a JSON array;
  // empty without a history file. Throws std::exception when the history can't be read.
  std::function<std::string(std::chrono::hours, std::size_t last)> history;
};

// What StatusSources.history reads from a history file (--history): the file read again
// only when it has changed.
std::function<std::string(std::chrono::hours, std::size_t)> HistoryFileSource(
    const std::filesystem::path& file);

// The longest look back /history.json takes, and the most events it adds beyond that.
constexpr std::chrono::hours kMaxHistoryHours{24 * 31};
constexpr std::size_t kMaxHistoryLast = 1000;

// serve's read-only web site: the status page, the status as JSON, the metrics and the
// history. Answers GET and HEAD of its fixed paths; any other method gets 405, any other
// path 404.
class StatusSite {
 public:
  explicit StatusSite(StatusSources sources);
  ~StatusSite();
  StatusSite(const StatusSite&) = delete;
  StatusSite& operator=(const StatusSite&) = delete;

  // The whole response, as bytes, to one request head (request line and header fields, up
  // to and including the blank line that ends them). The connection is closed after it.
  std::string Answer(std::string_view head);

 private:
  class Routes;
  std::unique_ptr<Routes> routes_;
};

// The page's language for an Accept-Language header: "de", "fr" or "en", the one of them the
// browser ranks highest; "en" when it asks for none of them.
std::string PageLanguage(std::string_view accept_language);

}  // namespace serve

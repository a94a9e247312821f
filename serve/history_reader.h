#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace serve {

struct HistoryRecord {
  std::chrono::system_clock::time_point time;
  std::string type;               // "start", "stop", "send", "verdict", "alarm", "recovery"
  nlohmann::ordered_json fields;  // the whole line
};

struct History {
  std::vector<HistoryRecord> records;  // in the order written
  std::size_t skipped = 0;             // lines that are no record (one cut short by a crash)
};

// Reads a history: FILE.1 (what was moved aside at the size limit) when there is one, then
// FILE. A line that is not a JSON object with a "time" and a "type" is skipped and counted.
// Throws std::runtime_error when FILE cannot be read.
History ReadHistory(const std::filesystem::path& file);

// "2024-05-01T12:34:56.789Z" (what serve writes); nullopt for anything else.
std::optional<std::chrono::system_clock::time_point> ParseIsoTime(const std::string& text);

// The records from `from` on, and at least the last `last` records however old, as a JSON
// array of the records as written.
std::string HistoryJson(const History& history, std::chrono::system_clock::time_point from,
                        std::size_t last);

// A history that pages ask for every few seconds: read again only when FILE or FILE.1 has
// changed since the last read.
class HistoryCache {
 public:
  explicit HistoryCache(std::filesystem::path file) : file_(std::move(file)) {}
  // Throws as ReadHistory does.
  const History& Read();

 private:
  struct Stamp {
    std::uintmax_t size = 0;
    std::filesystem::file_time_type time{};
    bool operator==(const Stamp&) const = default;
  };
  Stamp StampOf(const std::filesystem::path& path) const;

  std::filesystem::path file_;
  std::optional<std::pair<Stamp, Stamp>> read_;  // FILE.1's and FILE's, when last read
  History history_;
};

struct Outage {
  std::chrono::system_clock::time_point start;
  std::chrono::milliseconds length{0};
};

// What a stretch of the history adds up to. Monitored is the time serve ran with a monitor;
// on air the part of it whose verdict was "confirmed"; an outage runs from a verdict that
// says the station differs (or is not received) to the next confirmation or the end of the
// run. A run ends at its stop; one without (a crash) at its last record, except the last
// run of the history, which still goes on at `until`.
struct HistorySummary {
  std::chrono::milliseconds monitored{0};
  std::chrono::milliseconds on_air{0};
  std::map<std::string, int> alarms;  // by condition
  std::optional<Outage> longest_outage;
  double OnAirShare() const {
    return monitored.count() > 0 ? static_cast<double>(on_air.count()) / monitored.count() : 0;
  }
};

HistorySummary SummarizeHistory(const History& history, std::chrono::system_clock::time_point from,
                                std::chrono::system_clock::time_point until);

}  // namespace serve

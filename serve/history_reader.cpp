#include "serve/history_reader.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "appcore/bounded_file.h"

namespace serve {
namespace {

using TimePoint = std::chrono::system_clock::time_point;
using std::chrono::milliseconds;

// Each file stays below the size limit; a larger one is not a history of serve's.
constexpr std::size_t kReadLimit = 64 * 1024 * 1024;

void ReadLines(const std::string& bytes, History& history) {
  std::istringstream in(bytes);
  for (std::string line; std::getline(in, line);) {
    if (line.empty()) continue;
    const auto json = nlohmann::ordered_json::parse(line, nullptr, false);
    std::optional<TimePoint> time;
    if (json.is_object() && json.contains("time") && json["time"].is_string() &&
        json.contains("type") && json["type"].is_string()) {
      time = ParseIsoTime(json["time"].get<std::string>());
    }
    if (!time) {
      ++history.skipped;
      continue;
    }
    history.records.push_back({*time, json["type"].get<std::string>(), json});
  }
}

// Verdicts that say the station is not on air as sent.
bool IsOutage(const std::string& verdict) {
  return verdict == "mismatch" || verdict == "no-rds";
}

}  // namespace

std::optional<TimePoint> ParseIsoTime(const std::string& text) {
  int year, month, day, hour, minute, second, ms, used = 0;
  if (text.size() != 24 ||
      std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3dZ%n", &year, &month, &day, &hour,
                  &minute, &second, &ms, &used) != 7 ||
      used != 24) {
    return std::nullopt;
  }
  const std::chrono::year_month_day date{std::chrono::year(year),
                                         std::chrono::month(static_cast<unsigned>(month)),
                                         std::chrono::day(static_cast<unsigned>(day))};
  if (!date.ok() || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  return std::chrono::sys_days(date) + std::chrono::hours(hour) + std::chrono::minutes(minute) +
         std::chrono::seconds(second) + milliseconds(ms);
}

History ReadHistory(const std::filesystem::path& file) {
  History history;
  const auto read = [&](const std::filesystem::path& path, bool required) {
    const app::BoundedRead got = app::ReadBoundedFile(path, kReadLimit);
    if (!got.found && !required) return;
    if (!got.found) throw std::runtime_error("no such file " + path.string());
    if (got.failure != app::ReadFailure::kNone) {
      throw std::runtime_error("can't read " + path.string() + " (" +
                               app::DescribeReadFailure(got.failure, kReadLimit) + ")");
    }
    ReadLines(got.bytes, history);
  };
  read(std::filesystem::path(file).concat(".1"), false);
  read(file, true);
  return history;
}

std::string HistoryJson(const History& history, TimePoint from, std::size_t last) {
  const auto& records = history.records;
  std::string json = "[";
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i].time < from && records.size() - i > last) continue;
    json += (json.size() > 1 ? "," : "") + records[i].fields.dump();
  }
  return json + "]";
}

HistoryCache::Stamp HistoryCache::StampOf(const std::filesystem::path& path) const {
  std::error_code error;
  Stamp stamp;
  stamp.size = std::filesystem::file_size(path, error);
  if (error) return {};
  stamp.time = std::filesystem::last_write_time(path, error);
  return stamp;
}

const History& HistoryCache::Read() {
  const std::pair stamps(StampOf(std::filesystem::path(file_).concat(".1")), StampOf(file_));
  if (read_ != stamps) {
    read_.reset();
    history_ = ReadHistory(file_);
    read_ = stamps;
  }
  return history_;
}

HistorySummary SummarizeHistory(const History& history, TimePoint from, TimePoint until) {
  HistorySummary summary;
  bool running = false, monitor = false;
  std::string verdict;
  TimePoint last{};
  std::optional<TimePoint> outage;
  const auto clip = [&](TimePoint t) { return std::clamp(t, from, until); };
  // The time from `last` to t, counted for what held in it.
  const auto advance = [&](TimePoint t) {
    if (running && monitor) {
      const auto span = std::chrono::duration_cast<milliseconds>(clip(t) - clip(last));
      summary.monitored += span;
      if (verdict == "confirmed") summary.on_air += span;
    }
    last = t;
  };
  const auto end_outage = [&](TimePoint t) {
    if (!outage) return;
    const TimePoint start = clip(*outage);
    const auto length = std::chrono::duration_cast<milliseconds>(clip(t) - start);
    if (length.count() > 0 && (!summary.longest_outage || length > summary.longest_outage->length))
      summary.longest_outage = Outage{start, length};
    outage.reset();
  };
  for (const HistoryRecord& r : history.records) {
    if (r.type == "start" && running) {
      end_outage(last);  // the run before ended without a stop: at its last record
      running = false;
    }
    advance(r.time);
    if (r.type == "start") {
      running = true;
      monitor = r.fields.value("monitor", false);
      verdict.clear();
    } else if (r.type == "stop") {
      end_outage(r.time);
      running = false;
    } else if (r.type == "verdict") {
      verdict = r.fields.value("verdict", "");
      if (verdict == "confirmed") end_outage(r.time);
      if (IsOutage(verdict) && !outage && running && monitor) outage = r.time;
    } else if (r.type == "alarm" && r.time >= from && r.time <= until) {
      ++summary.alarms[r.fields.value("condition", "")];
    }
  }
  if (running) {
    advance(until);
    end_outage(until);
  }
  return summary;
}

}  // namespace serve

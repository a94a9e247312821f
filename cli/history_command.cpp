#include "cli/history_command.h"

#include <cstdio>
#include <iomanip>
#include <sstream>

#include "cmdline/duration.h"
#include "cmdline/quote.h"
#include "cmdline/usage_error.h"
#include "serve/alarm_event.h"
#include "serve/history_reader.h"
#include "serve/log.h"

namespace cli {
namespace {

using Json = nlohmann::ordered_json;
using TimePoint = std::chrono::system_clock::time_point;

constexpr const char* kHistoryHelp =
    "Usage: rdsq7-cli history FILE [options]\n"
    "Prints the history FILE that serve keeps with its option of that name (FILE.1 first,\n"
    "when there is one): each send, verdict, alarm, recovery, start and stop, then a\n"
    "summary: the time monitored, the time on air as sent (and its share), alarms by\n"
    "condition and the longest outage.\n"
    "  --since DURATION      only the last DURATION (90m, 24h, 7d); default: all of it\n"
    "  --format text|json|csv\n"
    "                        text (default); json: the records as written, then one\n"
    "                        {\"summary\": …} line; csv: a row per record, then the summary\n"
    "  -h, --help            show this text\n";

enum class Format { kText, kJson, kCsv };

std::string Text(const Json& json, const char* key) {
  if (!json.contains(key)) return "";
  const Json& v = json[key];
  return v.is_string() ? v.get<std::string>() : v.dump();
}

std::string Seconds(std::chrono::milliseconds d) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", d.count() / 1000.0);
  return text;
}

std::string FieldsText(const Json& fields) {
  std::string out;
  if (!fields.is_array()) return out;
  for (const Json& f : fields) {
    out += (out.empty() ? "" : "; ") + Text(f, "field") + " on air '" + Text(f, "on_air") +
           "', sent '" + Text(f, "sent") + "'";
  }
  return out;
}

// What a record says, after its time and type.
std::string Describe(const serve::HistoryRecord& r) {
  const Json& j = r.fields;
  if (r.type == "start") {
    return "instance " + Text(j, "instance") +
           (j.value("monitor", false) ? ", with a monitor" : ", without a monitor");
  }
  if (r.type == "send") {
    std::string values;
    if (j.contains("values") && j["values"].is_object()) {
      for (const auto& [name, value] : j["values"].items()) {
        const std::string v = value.is_string() ? value.get<std::string>() : value.dump();
        if (!v.empty()) values += " " + name + "=" + v;
      }
    }
    return Text(j, "result") + " changes=" + Text(j, "changes") + values +
           (j.contains("error") ? " error: " + Text(j, "error") : "") + " (" +
           Text(j, "duration_s") + " s)";
  }
  if (r.type == "verdict") {
    const std::string fields = FieldsText(j.value("fields", Json::array()));
    return Text(j, "verdict") + (fields.empty() ? "" : ": " + fields);
  }
  if (r.type == "alarm") return Text(j, "condition") + ": " + Text(j, "detail");
  if (r.type == "recovery") {
    const double s = j.value("duration_s", 0.0);
    return Text(j, "condition") + " over after " +
           serve::DurationText(std::chrono::milliseconds(static_cast<long long>(s * 1000)));
  }
  return r.type == "stop" ? "" : j.dump();
}

std::string Csv(const std::string& value) {
  if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
  std::string out = "\"";
  for (const char c : value) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

std::string AlarmsText(const serve::HistorySummary& s) {
  std::string out;
  for (const auto& [condition, count] : s.alarms)
    out += (out.empty() ? "" : ", ") + condition + " " + std::to_string(count);
  return out.empty() ? "none" : out;
}

std::string Share(const serve::HistorySummary& s) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << std::fixed << std::setprecision(1) << s.OnAirShare() * 100 << '%';
  return text.str();
}

// The summary of [from, until], in the format asked for.
void PrintSummary(const serve::HistorySummary& s, const serve::History& history, TimePoint from,
                  TimePoint until, Format format, std::ostream& out) {
  const std::optional<serve::Outage>& longest = s.longest_outage;
  if (format == Format::kJson) {
    Json summary{{"from", serve::IsoTime(from)},
                 {"until", serve::IsoTime(until)},
                 {"monitored_s", s.monitored.count() / 1000.0},
                 {"on_air_s", s.on_air.count() / 1000.0},
                 {"on_air_share", s.OnAirShare()},
                 {"alarms", Json::object()},
                 {"longest_outage", nullptr},
                 {"skipped_lines", history.skipped}};
    for (const auto& [condition, count] : s.alarms) summary["alarms"][condition] = count;
    if (longest) {
      summary["longest_outage"] = {{"start", serve::IsoTime(longest->start)},
                                   {"duration_s", longest->length.count() / 1000.0}};
    }
    out << Json{{"summary", summary}}.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
    return;
  }
  if (format == Format::kCsv) {
    out << "\nsummary,value\n"
        << "from," << serve::IsoTime(from) << "\nuntil," << serve::IsoTime(until)
        << "\nmonitored_s," << Seconds(s.monitored) << "\non_air_s," << Seconds(s.on_air)
        << "\non_air_share," << Share(s) << '\n';
    for (const auto& [condition, count] : s.alarms)
      out << "alarms " << condition << ',' << count << '\n';
    if (longest) {
      out << "longest_outage_start," << serve::IsoTime(longest->start) << "\nlongest_outage_s,"
          << Seconds(longest->length) << '\n';
    }
    out << "skipped_lines," << history.skipped << '\n';
    return;
  }
  out << "\nSummary, " << serve::IsoTime(from) << " to " << serve::IsoTime(until) << ":\n"
      << "  monitored       " << serve::DurationText(s.monitored) << '\n'
      << "  on air as sent  " << serve::DurationText(s.on_air) << " (" << Share(s) << ")\n"
      << "  alarms          " << AlarmsText(s) << '\n'
      << "  longest outage  "
      << (longest ? serve::DurationText(longest->length) + " from " + serve::IsoTime(longest->start)
                  : std::string("none"))
      << '\n';
  if (history.skipped > 0) {
    out << "  skipped         " << history.skipped << (history.skipped == 1 ? " line" : " lines")
        << " that held no record (cut short by a crash)\n";
  }
}

}  // namespace

int HistoryCommand(cmdline::Arguments& args, std::ostream& out, std::ostream&) {
  // FILE stands anywhere among the options.
  std::optional<std::string> file;
  std::vector<std::string> options;
  const std::vector<std::string>& all = args.All();
  bool ended = false;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const std::string& a = all[i];
    if (!ended && a == "--") {
      ended = true;
    } else if (!ended && a.size() > 1 && a[0] == '-') {
      options.push_back(a);
      if ((a == "--since" || a == "--format") && i + 1 < all.size()) options.push_back(all[++i]);
    } else if (file) {
      throw cmdline::UsageError("unexpected argument " + cmdline::Quote(a));
    } else {
      file = a;
    }
  }
  cmdline::Arguments parser(options);
  std::optional<std::chrono::seconds> since;
  Format format = Format::kText;
  while (!parser.AtEnd()) {
    const std::string option = parser.NextOption();
    if (option == "--help") {
      parser.NoValue();
      out << kHistoryHelp;
      return 0;
    } else if (option == "--since") {
      since = cmdline::ParseDuration(option, parser.Value());
    } else if (option == "--format") {
      const std::string value = parser.Value();
      if (value == "text") {
        format = Format::kText;
      } else if (value == "json") {
        format = Format::kJson;
      } else if (value == "csv") {
        format = Format::kCsv;
      } else {
        throw cmdline::UsageError("option --format: expected text, json or csv, got " +
                                  cmdline::Quote(value));
      }
    } else {
      throw cmdline::UsageError("unknown option " + cmdline::Quote(option) + " for history");
    }
  }
  if (!file) throw cmdline::UsageError("history needs the FILE that serve --history writes");

  const serve::History history = serve::ReadHistory(cmdline::PathArgument(*file));
  const TimePoint until = std::chrono::system_clock::now();
  const TimePoint from = since                     ? until - *since
                         : history.records.empty() ? until
                                                   : history.records.front().time;
  if (format == Format::kCsv) out << "time,type,condition,result,duration_s,detail\n";
  for (const serve::HistoryRecord& r : history.records) {
    if (r.time < from) continue;
    const std::string time = Text(r.fields, "time");
    switch (format) {
      case Format::kText: {
        const std::string what = Describe(r);
        out << time << ' ' << r.type << (what.empty() ? "" : " " + what) << '\n';
        break;
      }
      case Format::kJson:
        out << r.fields.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
        break;
      case Format::kCsv: {
        const std::string result =
            r.type == "verdict" ? Text(r.fields, "verdict") : Text(r.fields, "result");
        out << time << ',' << r.type << ',' << Csv(Text(r.fields, "condition")) << ','
            << Csv(result) << ',' << Text(r.fields, "duration_s") << ',' << Csv(Describe(r))
            << '\n';
        break;
      }
    }
  }
  PrintSummary(serve::SummarizeHistory(history, from, until), history, from, until, format, out);
  return 0;
}

}  // namespace cli

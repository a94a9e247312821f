// The status site's answers, request by request, and what its JSON and page carry.
#include "serve/status_site.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "appcore/ini_file.h"
#include "serve/log.h"
#include "serve/status_resources.h"

namespace serve {
namespace {

struct Answered {
  int status = 0;
  std::string head;
  std::string body;
};

Answered Parse(const std::string& response) {
  Answered a;
  const std::size_t end = response.find("\r\n\r\n");
  a.head = response.substr(0, end);
  a.body = end == std::string::npos ? "" : response.substr(end + 4);
  if (response.rfind("HTTP/1.1 ", 0) == 0) a.status = std::stoi(response.substr(9, 3));
  return a;
}

class StatusSiteTest : public ::testing::Test {
 protected:
  StatusSiteTest()
      : site_({{"studio \"A\"", "/dev/ttyUSB0", {}},
               [this] { return status_; },
               [this](std::chrono::hours hours, std::size_t last) {
                 asked_hours_ = hours;
                 asked_last_ = last;
                 return std::string("[]");
               }}) {}

  Answered Get(const std::string& request_line, const std::string& fields = "") {
    return Parse(site_.Answer(request_line + "\r\nHost: x\r\n" + fields + "\r\n"));
  }

  StationStatus status_;
  std::chrono::hours asked_hours_{0};
  std::size_t asked_last_ = 0;
  StatusSite site_;
};

TEST_F(StatusSiteTest, AnswersReadsOfItsPathsOnly) {
  struct Case {
    std::string request;
    int status;
    std::string type;  // the Content-Type the answer names
  };
  const std::vector<Case> cases = {
      {"GET / HTTP/1.1", 200, "text/html; charset=utf-8"},
      {"GET /status.json HTTP/1.1", 200, "application/json"},
      {"GET /metrics HTTP/1.1", 200, "text/plain; version=0.0.4; charset=utf-8"},
      {"GET /history.json HTTP/1.1", 200, "application/json"},
      {"GET /status.json?x=1 HTTP/1.0", 200, "application/json"},
      {"POST /status.json HTTP/1.1", 405, "text/plain"},
      {"PUT / HTTP/1.1", 405, "text/plain"},
      {"DELETE /metrics HTTP/1.1", 405, "text/plain"},
      {"OPTIONS / HTTP/1.1", 405, "text/plain"},
      {"GET /index.html HTTP/1.1", 404, "text/plain"},
      {"GET /status.json/ HTTP/1.1", 404, "text/plain"},
      {"GET /../etc/passwd HTTP/1.1", 404, "text/plain"},
      {"BREW / HTTP/1.1", 400, "text/plain"},
  };
  for (const Case& c : cases) {
    const Answered a = Get(c.request);
    EXPECT_EQ(a.status, c.status) << c.request;
    EXPECT_NE(a.head.find("Content-Type: " + c.type + "\r\n"), std::string::npos)
        << c.request << '\n' << a.head;
    EXPECT_NE(a.head.find("Connection: close"), std::string::npos) << c.request;
    EXPECT_EQ(a.head.find("Allow: GET, HEAD") != std::string::npos, c.status == 405)
        << c.request;
  }
  // HEAD: the GET's head, no body.
  const Answered head = Get("HEAD /status.json HTTP/1.1");
  EXPECT_EQ(head.status, 200);
  EXPECT_TRUE(head.body.empty());
  EXPECT_NE(head.head.find("Content-Length: " + std::to_string(Get("GET /status.json HTTP/1.1").body.size())),
            std::string::npos) << head.head;
}

TEST_F(StatusSiteTest, HistoryTakesHoursAndLastWithinTheirLimitsFromTheFileAsItGrows) {
  struct Limits {
    std::string query;
    int hours;  // 0: refused
    std::size_t last;
  };
  const std::vector<Limits> limits = {
      {"", 24, 0},        {"?hours=1", 1, 0},       {"?hours=744&last=1000", 744, 1000},
      {"?hours=0", 0, 0}, {"?hours=745", 0, 0},     {"?hours=-1", 0, 0},
      {"?hours=2h", 0, 0}, {"?hours=99999", 0, 0},  {"?last=20", 24, 20},
      {"?last=1001", 0, 0}, {"?hours=1&last=x", 0, 0}};
  for (const Limits& c : limits) {
    asked_hours_ = std::chrono::hours(0);
    asked_last_ = 7;
    const Answered a = Get("GET /history.json" + c.query + " HTTP/1.1");
    EXPECT_EQ(a.status, c.hours ? 200 : 400) << c.query;
    EXPECT_EQ(asked_hours_.count(), c.hours) << c.query;
    if (c.hours) EXPECT_EQ(asked_last_, c.last) << c.query;
  }

  const auto file = std::filesystem::temp_directory_path() / "rdsq7-site-history.jsonl";
  std::filesystem::remove(file);
  const auto now = std::chrono::system_clock::now();
  const auto record = [&](int minutes_ago, const std::string& verdict) {
    std::ofstream(file, std::ios::app)
        << R"({"time":")" << IsoTime(now - std::chrono::minutes(minutes_ago))
        << R"(","type":"verdict","verdict":")" << verdict << "\"}\n";
  };
  for (const int minutes : {1800, 1500, 120}) record(minutes, "v" + std::to_string(minutes));
  std::ofstream(file, std::ios::app) << "{\"time\":\"torn\n";
  record(30, "v30");
  StatusSite site({{"x", std::nullopt, {}}, [] { return StationStatus{}; },
                   HistoryFileSource(file)});
  const auto verdicts = [&](const std::string& query) {
    const Answered a = Parse(site.Answer("GET /history.json" + query + " HTTP/1.1\r\n\r\n"));
    std::string names = std::to_string(a.status);
    for (std::size_t at = 0; (at = a.body.find("\"verdict\":\"", at)) != std::string::npos;) {
      at += 11;
      names += ' ' + a.body.substr(at, a.body.find('"', at) - at);
    }
    return names;
  };
  const std::vector<std::pair<std::string, std::string>> reads = {
      {"?hours=1", "200 v30"}, {"", "200 v120 v30"}, {"?hours=26", "200 v1500 v120 v30"},
      {"?hours=1&last=3", "200 v1500 v120 v30"}, {"?last=20", "200 v1800 v1500 v120 v30"}};
  for (const auto& [query, shown] : reads) EXPECT_EQ(verdicts(query), shown) << query;
  record(10, "v10");
  EXPECT_EQ(verdicts("?hours=1"), "200 v30 v10");
  std::filesystem::remove(file);
  EXPECT_EQ(verdicts("?hours=1"), "503");  // the rest of the site is not held up by it
  EXPECT_EQ(Parse(site.Answer("GET /status.json HTTP/1.1\r\n\r\n")).status, 200);
}

TEST(PageLanguage, TakesTheBrowsersHighestRankedLanguageThePageHas) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"de-DE,de;q=0.9,en;q=0.8", "de"},
      {"fr-CH, fr;q=0.9, en;q=0.8, de;q=0.7", "fr"},
      {"en-US,en;q=0.9,de;q=0.8", "en"},
      {"it-IT,it;q=0.9,de;q=0.5,fr;q=0.4", "de"},
      {"de;q=0.5,FR;q=0.8", "fr"},
      {"de;q=0", "en"},
      {"fr,de", "fr"},
      {"ja,zh", "en"},
      {"*", "en"},
      {"", "en"},
  };
  for (const auto& [header, language] : cases) EXPECT_EQ(PageLanguage(header), language) << header;
}

TEST_F(StatusSiteTest, ThePageComesInTheBrowsersLanguageWithEveryText) {
  const std::string en = Get("GET / HTTP/1.1").body;
  const std::string de = Get("GET / HTTP/1.1", "Accept-Language: de-AT,de;q=0.9\r\n").body;
  const std::string fr = Get("GET / HTTP/1.1", "Accept-Language: fr\r\n").body;
  EXPECT_NE(en.find("<html lang=\"en\">"), std::string::npos);
  EXPECT_NE(de.find("<html lang=\"de\">"), std::string::npos);
  EXPECT_NE(de.find("\"connection_lost\":\"Verbindung verloren"), std::string::npos);
  EXPECT_NE(fr.find("\"connection_lost\":\"Connexion perdue"), std::string::npos);
  // Each translation names every text the English one has, and no other.
  const auto keys = [](std::string_view texts) {
    std::vector<std::string> names;
    for (const auto& entry : app::IniFile(texts).Entries("TRANSLATIONS")) names.push_back(entry.key);
    std::sort(names.begin(), names.end());
    return names;
  };
  EXPECT_GT(keys(resources::kPageTextsEn).size(), 50U);
  EXPECT_EQ(keys(resources::kPageTextsDe), keys(resources::kPageTextsEn));
  EXPECT_EQ(keys(resources::kPageTextsFr), keys(resources::kPageTextsEn));
  // Nothing the page loads comes from elsewhere.
  for (const char* outside : {"src=\"http", "href=\"http", "@import", "url("}) {
    EXPECT_EQ(en.find(outside), std::string::npos) << outside;
  }
}

TEST_F(StatusSiteTest, JsonAndMetricsSayWhatStatusSaysWithTheStationAsReceiversShowIt) {
  rds::StationSettings sent;
  sent.ps = "RADIO";
  sent.pi = "d3c3";
  sent.pty = 10;
  sent.ta = 1;
  sent.ms = 0;
  sent.di = {true, false, false, true};
  sent.af = {"98,5", "87.6", "", "", "", "", ""};
  status_.sent = sent;
  status_.send = SendResult::kOk;
  status_.send_time = std::chrono::sys_days{std::chrono::year{2026} / 12 / 9} + std::chrono::hours{9};
  status_.send_text = "elapsed_ms=2577.1";
  status_.sends_last_hour = 3;
  status_.sends_per_hour = 120;
  status_.air = AirVerdict::kMismatch;
  status_.air_differences = {{receiver::Field::kPs, "OTHER", "RADIO"}};
  status_.alarm = true;
  status_.sends = 7;
  status_.last_ok_send = status_.send_time;
  const std::string json = Get("GET /status.json HTTP/1.1").body;
  for (const std::string part :
       {"\"instance\":\"studio \\\"A\\\"\"", "\"encoder\":{\"port\":\"/dev/ttyUSB0\",\"dry_run\":false}",
        "\"status\":\"STATUS ok 2026-12-09T09:00:00.000Z elapsed_ms=2577.1 "
        "sends_last_hour=3/120 ONAIR=mismatch PS ALARM\"",
        "\"last_send\":{\"result\":\"ok\",\"time\":\"2026-12-09T09:00:00.000Z\"",
        "\"sent\":{\"ps\":\"RADIO   \",\"pi\":\"D3C3\",\"pty\":10,\"tp\":true,\"ta\":true,"
        "\"ms\":false,\"di\":{\"stereo\":true,\"artificial_head\":false,\"compressed\":false,"
        "\"dynamic_pty\":true},\"af\":[98.5,87.6]}",
        "\"on_air\":{\"verdict\":\"mismatch\",\"time\":null,\"last_confirmed\":null,"
        "\"differences\":[{\"field\":\"PS\",\"on_air\":\"OTHER\",\"sent\":\"RADIO\"}]}",
        "\"alarm\":true", "\"fallback_since\":null", "\"save_failure\":null"}) {
    EXPECT_NE(json.find(part), std::string::npos) << part << '\n' << json;
  }
  const std::string metrics = Get("GET /metrics HTTP/1.1").body;
  for (const std::string line :
       {"rdsq7_info{instance=\"studio \\\"A\\\"\",version=\"" RDSQ7_VERSION "\",port=\"/dev/ttyUSB0\"} 1\n",
        "rdsq7_on_air{verdict=\"mismatch\"} 1\n", "rdsq7_on_air{verdict=\"confirmed\"} 0\n",
        "rdsq7_alarm 1\n", "rdsq7_sends_total 7\n", "rdsq7_send_failures_total 0\n",
        "rdsq7_last_send_time_seconds 1796806800.000\n", "rdsq7_encoder_ok 1\n",
        "rdsq7_sends_last_hour 3\n", "rdsq7_send_budget_used_ratio 0.025\n",
        "# TYPE rdsq7_sends_total counter\n"}) {
    EXPECT_NE(metrics.find(line), std::string::npos) << line << metrics;
  }
  // A weak signal, conditions raised without the mismatch's ALARM, and the levels.
  const StationStatus::Time nine = status_.send_time;
  status_ = {};
  status_.air = AirVerdict::kWeak;
  status_.air_differences = {{receiver::Field::kPs, "", "RADIO"}};
  status_.conditions = {"pi-error", "mpx-power"};
  receiver::Levels levels;
  levels.scaled = true;
  levels.pilot_khz = 6.75;
  levels.rds_khz = 3.4;
  levels.peak_khz = 74.5;
  levels.over_percent = 0.02;
  levels.mpx_power_dbr = 1.5;
  levels.block_errors_percent = 12.5;
  status_.levels = levels;
  status_.levels_time = nine;
  std::string weak = Get("GET /status.json HTTP/1.1").body;
  std::string weak_metrics = Get("GET /metrics HTTP/1.1").body;
  for (const std::string part :
       {"\"on_air\":{\"verdict\":\"weak\"", "{\"field\":\"PS\",\"on_air\":null,\"sent\":\"RADIO\"}",
        "\"alarm\":true,\"conditions\":{\"rds-lost\":false,\"pi-error\":true,\"mismatch\":false,",
        "\"overdeviation\":false,\"mpx-power\":true}",
        "\"levels\":{\"time\":\"2026-12-09T09:00:00.000Z\",\"scaled\":true,\"pilot_khz\":6.75,"
        "\"rds_khz\":3.4,\"peak_khz\":74.5,\"over_khz\":75,\"over_percent\":0.02,"
        "\"mpx_power_dbr\":1.5,\"block_errors_percent\":12.5}"}) {
    EXPECT_NE(weak.find(part), std::string::npos) << part << '\n' << weak;
  }
  for (const std::string line :
       {"rdsq7_on_air{verdict=\"weak\"} 1\n", "rdsq7_alarm 1\n",
        "rdsq7_condition_active{condition=\"pi-error\"} 1\n",
        "rdsq7_condition_active{condition=\"mismatch\"} 0\n",
        "rdsq7_condition_active{condition=\"mpx-power\"} 1\n",
        "rdsq7_levels_time_seconds 1796806800.000\n", "rdsq7_block_error_ratio 0.125\n",
        "rdsq7_pilot_deviation_hertz 6750\n", "rdsq7_overdeviation_ratio{over_hertz=\"75000\"} 0.0002\n", "rdsq7_mpx_power_dbr 1.5\n"}) {
    EXPECT_NE(weak_metrics.find(line), std::string::npos) << line << weak_metrics;
  }
  // Without a scale only the block errors are known.
  status_.levels->scaled = false;
  weak = Get("GET /status.json HTTP/1.1").body;
  weak_metrics = Get("GET /metrics HTTP/1.1").body;
  EXPECT_NE(weak.find("\"scaled\":false,\"pilot_khz\":null,\"rds_khz\":null,\"peak_khz\":null,"
                      "\"over_khz\":null,\"over_percent\":null,\"mpx_power_dbr\":null,"
                      "\"block_errors_percent\":12.5}"),
            std::string::npos) << weak;
  EXPECT_NE(weak_metrics.find("\nrdsq7_block_error_ratio 0.125\n"), std::string::npos);
  EXPECT_EQ(weak_metrics.find("deviation_hertz "), std::string::npos) << weak_metrics;
  EXPECT_EQ(weak_metrics.find("\nrdsq7_mpx_power_dbr "), std::string::npos) << weak_metrics;

  status_ = {};
  status_.send = SendResult::kFailed;
  const std::string failing = Get("GET /metrics HTTP/1.1").body;
  for (const std::string line : {"rdsq7_encoder_ok 0\n", "rdsq7_send_budget_used_ratio 0\n",
                                 "rdsq7_on_air{verdict=\"not-monitored\"} 1\n"}) {
    EXPECT_NE(failing.find(line), std::string::npos) << line << failing;
  }
  EXPECT_EQ(failing.find("\nrdsq7_last_send_time_seconds "), std::string::npos);
  status_ = {};
  const std::string none = Get("GET /status.json HTTP/1.1").body;
  EXPECT_NE(none.find("\"status\":\"STATUS none\""), std::string::npos) << none;
  EXPECT_NE(none.find("\"sent\":null"), std::string::npos);
  EXPECT_NE(Get("GET /metrics HTTP/1.1").body.find("\nrdsq7_encoder_ok 1\n"), std::string::npos);
  EXPECT_NE(none.find("\"last_send\":{\"result\":\"none\",\"time\":null"), std::string::npos);
  EXPECT_NE(none.find("\"verdict\":\"not-monitored\""), std::string::npos);
  EXPECT_NE(none.find("\"alarm\":false,\"conditions\":{\"rds-lost\":false,"), std::string::npos);
  EXPECT_NE(none.find("\"levels\":null"), std::string::npos);
}

}  // namespace
}  // namespace serve

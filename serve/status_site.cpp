#include "serve/status_site.h"

#include <httplib.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>

#include "appcore/ini_file.h"
#include "cmdline/json_text.h"
#include "serve/history_reader.h"
#include "serve/status_json.h"
#include "serve/status_metrics.h"
#include "serve/status_resources.h"

namespace serve {
namespace {

struct PageLanguageText {
  const char* code;
  std::string_view texts;
};
const std::array<PageLanguageText, 3> kLanguages = {{{"en", resources::kPageTextsEn},
                                                     {"de", resources::kPageTextsDe},
                                                     {"fr", resources::kPageTextsFr}}};

// One request head in, the response out: httplib reads and writes through this in place of
// a socket, so that the network thread's own connections carry the bytes.
class BufferStream final : public httplib::Stream {
 public:
  explicit BufferStream(std::string_view in) : in_(in) {}

  bool is_readable() const override { return true; }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    const std::size_t n = std::min(size, in_.size());
    std::memcpy(ptr, in_.data(), n);
    in_.remove_prefix(n);
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char* ptr, size_t size) override {
    out_.append(ptr, size);
    return static_cast<ssize_t>(size);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip.clear();
    port = 0;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip.clear();
    port = 0;
  }
  socket_t socket() const override { return INVALID_SOCKET; }

  std::string Written() { return std::move(out_); }

 private:
  std::string_view in_;
  std::string out_;
};

std::string Replace(std::string text, std::string_view what, const std::string& with) {
  const std::size_t at = text.find(what);
  if (at != std::string::npos) text.replace(at, what.size(), with);
  return text;
}

// The page in one language: its texts (English where a translation lacks one) as a JSON
// object the page's script reads, safe inside a script element.
std::string PageIn(const PageLanguageText& language) {
  std::map<std::string, std::string> texts;
  for (const auto* from : {&kLanguages[0], &language}) {
    for (const auto& entry : app::IniFile(from->texts).Entries("TRANSLATIONS")) {
      texts[entry.key] = entry.value;
    }
  }
  std::string json = "{";
  for (const auto& [key, text] : texts) {
    json += (json.size() > 1 ? "," : "") + cmdline::JsonString(key) + ":" +
            cmdline::JsonString(text);
  }
  json += "}";
  std::string safe;
  for (const char c : json) safe += c == '<' ? std::string("\\u003c") : std::string(1, c);
  return Replace(Replace(std::string(resources::kStatusPage), "__LANG__", language.code),
                 "__TEXTS__", safe);
}

}  // namespace

std::string PageLanguage(std::string_view accept_language) {
  std::string best = "en";
  double best_q = 0;
  while (!accept_language.empty()) {
    const std::size_t comma = accept_language.find(',');
    std::string_view item = accept_language.substr(0, comma);
    accept_language.remove_prefix(comma == std::string_view::npos ? accept_language.size()
                                                                  : comma + 1);
    double q = 1;
    if (const std::size_t semicolon = item.find(';'); semicolon != std::string_view::npos) {
      std::string parameter(item.substr(semicolon + 1));
      std::erase(parameter, ' ');
      q = parameter.starts_with("q=") ? std::atof(parameter.c_str() + 2) : 0;
      item = item.substr(0, semicolon);
    }
    while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
    std::string primary(item.substr(0, item.find_first_of("- ")));
    std::transform(primary.begin(), primary.end(), primary.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const bool known = std::any_of(kLanguages.begin(), kLanguages.end(),
                                   [&](const auto& l) { return primary == l.code; });
    if (known && q > best_q) {
      best = primary;
      best_q = q;
    }
  }
  return best;
}

namespace {

// A query parameter that is a whole number from `least` to `most`; `absent` without it,
// nullopt for anything else.
std::optional<std::size_t> Parameter(const httplib::Request& request, const char* name,
                                     std::size_t absent, std::size_t most, std::size_t least) {
  if (!request.has_param(name)) return absent;
  const std::string text = request.get_param_value(name);
  if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
    return std::nullopt;
  const std::size_t value = std::stoul(text);
  if (value < least || value > most) return std::nullopt;
  return value;
}

}  // namespace

class StatusSite::Routes : public httplib::Server {
 public:
  explicit Routes(StatusSources sources) : sources_(std::move(sources)) {
    for (const auto& language : kLanguages) pages_[language.code] = PageIn(language);
    set_default_headers({{"Cache-Control", "no-store"},
                         {"X-Content-Type-Options", "nosniff"},
                         {"Referrer-Policy", "no-referrer"}});
    set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
      if (request.method == "GET" || request.method == "HEAD") return HandlerResponse::Unhandled;
      response.status = 405;
      response.set_header("Allow", "GET, HEAD");
      return HandlerResponse::Handled;
    });
    Get("/", [this](const httplib::Request& request, httplib::Response& response) {
      response.set_content(pages_.at(PageLanguage(request.get_header_value("Accept-Language"))),
                           "text/html; charset=utf-8");
      response.set_header("Vary", "Accept-Language");
      // Nothing from elsewhere: the page's own script and style, and requests to serve.
      response.set_header("Content-Security-Policy",
                          "default-src 'none'; script-src 'unsafe-inline'; style-src "
                          "'unsafe-inline'; connect-src 'self'; img-src data:; "
                          "frame-ancestors 'none'");
    });
    Get("/status.json", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content(StatusJson(sources_.status(), sources_.identity,
                                      std::chrono::system_clock::now()),
                           "application/json");
    });
    Get("/metrics", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content(StatusMetrics(sources_.status(), sources_.identity),
                           "text/plain; version=0.0.4; charset=utf-8");
    });
    Get("/history.json", [this](const httplib::Request& request, httplib::Response& response) {
      const auto hours = Parameter(request, "hours", 24, kMaxHistoryHours.count(), 1);
      const auto last = Parameter(request, "last", 0, kMaxHistoryLast, 0);
      if (!hours || !last) {
        response.status = 400;
        response.set_content("hours: expected a number from 1 to " +
                                 std::to_string(kMaxHistoryHours.count()) +
                                 "; last: from 0 to " + std::to_string(kMaxHistoryLast) + "\n",
                             "text/plain");
        return;
      }
      if (!sources_.history) {
        response.set_content("[]", "application/json");
        return;
      }
      try {
        response.set_content(sources_.history(std::chrono::hours(*hours), *last),
                             "application/json");
      } catch (const std::exception& e) {
        response.status = 503;
        response.set_content(std::string("history: ") + e.what() + "\n", "text/plain");
      }
    });
    set_error_handler([](const httplib::Request&, httplib::Response& response) {
      if (!response.body.empty()) return;
      const char* text = response.status == 404   ? "not found"
                         : response.status == 405 ? "method not allowed: only GET and HEAD"
                         : response.status == 400 ? "bad request"
                                                  : "not answered";
      response.set_content(std::to_string(response.status) + ' ' + text + '\n', "text/plain");
    });
  }

  std::string Handle(std::string_view head) {
    BufferStream stream(head);
    bool closed = true;
    process_request(stream, true, closed, nullptr);
    return stream.Written();
  }

 private:
  StatusSources sources_;
  std::map<std::string, std::string> pages_;
};

std::function<std::string(std::chrono::hours, std::size_t)> HistoryFileSource(
    const std::filesystem::path& file) {
  auto cache = std::make_shared<HistoryCache>(file);
  return [cache](std::chrono::hours hours, std::size_t last) {
    return HistoryJson(cache->Read(), std::chrono::system_clock::now() - hours, last);
  };
}

StatusSite::StatusSite(StatusSources sources)
    : routes_(std::make_unique<Routes>(std::move(sources))) {}

StatusSite::~StatusSite() = default;

std::string StatusSite::Answer(std::string_view head) {
  return routes_->Handle(head);
}

}  // namespace serve

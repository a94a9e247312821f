#include "cli/monitor_command.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "appcore/child_process.h"
#include "appcore/monitor_setting.h"
#include "cmdline/field_options.h"
#include "cmdline/json_text.h"
#include "cmdline/quote.h"
#include "cmdline/usage_error.h"
#include "receiver/air_check.h"
#include "receiver/air_watch.h"

namespace cli {
namespace {

constexpr const char* kMonitorHelp =
    "Usage: rdsq7-cli monitor (--input FILE|- | --command COMMAND) [options]\n"
    "  or:  rdsq7-cli monitor --save-command COMMAND\n"
    "Decodes the station's RDS from its FM multiplex (an SDR receiver such as rtl_fm, or the\n"
    "MPX output of the transmitter into a sound card) and prints what is on air.\n"
    "  --input FILE|-        read the multiplex from a file or standard input: a WAV\n"
    "                        file (16-bit or float) or raw signed 16-bit little-endian\n"
    "                        mono samples\n"
    "  --command COMMAND     run COMMAND and read the multiplex from its output, e.g.\n"
    "                        \"rtl_fm -M fm -l 0 -A std -p 0 -s 171k -g 20 -F 9 -f 98.5M\"\n"
    "  --rate HZ             sample rate of raw input, 128000 to 250000 (default 171000)\n"
    "  --format text|json    text: a line each time a field changes, and the block error\n"
    "                        rate now and then (default); json: one object per group\n"
    "  --expect              compare what is on air with the station options below (or\n"
    "                        --settings FILE): exit 0 as soon as everything is seen, 1\n"
    "                        when a field differs after the timeout, 3 when no RDS is\n"
    "                        found at all\n"
    "  --timeout SECONDS     how long --expect waits (default 20)\n"
    "  --save-command COMMAND\n"
    "                        keep COMMAND as the monitor the window runs after each Send\n"
    "                        (\"\" removes it) and exit\n"
    "  -h, --help            show this text\n"
    "Station options (they imply --expect):\n";

constexpr auto kRatePeriod = std::chrono::seconds(10);
constexpr int kNoRdsStatus = 3;

class StreamSource final : public receiver::ByteSource {
 public:
  explicit StreamSource(std::istream& in) : in_(in) {}
  std::size_t Read(std::span<std::uint8_t> out) override {
    in_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return static_cast<std::size_t>(in_.gcount());
  }

 private:
  std::istream& in_;
};

class StdinSource final : public receiver::ByteSource {
 public:
  std::size_t Read(std::span<std::uint8_t> out) override {
    return std::fread(out.data(), 1, out.size(), stdin);
  }
};

// One group as a JSON object: what it carries, and PS, DI and AF once they are complete.
std::string GroupJson(const receiver::Group& group, const receiver::StationView& view,
                      double seconds) {
  using receiver::Field;
  const receiver::AirFields& f = view.fields();
  std::ostringstream out;
  out << "{\"time\":" << std::fixed << std::setprecision(3) << seconds;
  if (group.ok[1]) out << ",\"group\":\"" << receiver::GroupTypeText(group) << '"';
  if (group.ok[0]) out << ",\"pi\":\"" << receiver::FieldText(f, Field::kPi) << '"';
  if (group.ok[1]) {
    out << ",\"pty\":" << ((group.words[1] >> 5) & 0x1F)
        << ",\"tp\":" << ((group.words[1] & 0x0400) ? "true" : "false");
    if ((group.words[1] >> 12) == 0) {
      out << ",\"ta\":" << ((group.words[1] & 0x10) ? "true" : "false")
          << ",\"ms\":" << ((group.words[1] & 0x08) ? "true" : "false");
      if (f.di) {
        const auto& di = *f.di;
        out << std::boolalpha << ",\"di\":{\"stereo\":" << di[0] << ",\"artificial_head\":" << di[1]
            << ",\"compressed\":" << di[2] << ",\"dynamic_pty\":" << di[3] << '}';
      }
      if (f.af) {
        out << ",\"af\":[";
        for (std::size_t i = 0; i < f.af->size(); ++i) {
          out << (i ? "," : "") << receiver::AfCodeMhz((*f.af)[i]);
        }
        out << ']';
      }
      if (f.ps) out << ",\"ps\":" << cmdline::JsonString(receiver::FieldText(f, Field::kPs));
    }
  }
  out << '}';
  return out.str();
}

std::string ClockTime() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

std::string SignalTime(double seconds) {
  char text[32];
  const long whole = static_cast<long>(seconds);
  std::snprintf(text, sizeof text, "%02ld:%02ld:%06.3f", whole / 3600, whole / 60 % 60,
                seconds - static_cast<double>(whole - whole % 60));
  return text;
}

double ParseNumber(const std::string& option, const std::string& value, double low, double high) {
  std::size_t used = 0;
  double number = 0;
  try {
    number = std::stod(value, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != value.size() || !(number >= low && number <= high)) {
    std::ostringstream range;
    range << low << " to " << high;
    throw cmdline::UsageError("option " + option + ": expected a number from " + range.str() +
                              ", got " + cmdline::Quote(value));
  }
  return number;
}

}  // namespace

int MonitorCommand(cmdline::Arguments& args, std::ostream& out, std::ostream& err) {
  cmdline::FieldOptions fields;
  bool expect = false;
  bool json = false;
  std::optional<std::string> input, command, save_command;
  std::optional<double> rate_hz;
  double timeout_s = 20;
  while (!args.AtEnd()) {
    const std::string option = args.NextOption();
    if (fields.Parse(option, args)) {
      expect = true;
    } else if (option == "--input") {
      input = args.Value();
    } else if (option == "--command") {
      command = args.Value();
    } else if (option == "--save-command") {
      save_command = args.Value();
    } else if (option == "--rate") {
      rate_hz = ParseNumber(option, args.Value(), 128000, 250000);
    } else if (option == "--timeout") {
      timeout_s = ParseNumber(option, args.Value(), 1, 86400);
    } else if (option == "--expect") {
      args.NoValue();
      expect = true;
    } else if (option == "--format") {
      const std::string value = args.Value();
      if (value != "text" && value != "json") {
        throw cmdline::UsageError("option --format: expected text or json, got " +
                                  cmdline::Quote(value));
      }
      json = value == "json";
    } else if (option == "--help") {
      args.NoValue();
      out << kMonitorHelp << cmdline::FieldOptions::Help();
      return 0;
    } else {
      throw cmdline::UsageError("unknown option " + cmdline::Quote(option) + " for monitor");
    }
  }
  if (save_command) {
    const auto file = app::MonitorCommandFile(app::SystemEnvironment());
    if (!file) throw std::runtime_error("no user folder to keep the monitor command in");
    app::SaveMonitorCommand(*file, *save_command);
    const std::u8string shown = file->u8string();
    out << (save_command->empty() ? "removed " : "saved to ")
        << std::string(shown.begin(), shown.end()) << '\n';
    return 0;
  }
  if (input.has_value() == command.has_value()) {
    throw cmdline::UsageError("give either --input or --command");
  }

  std::optional<app::ChildProcess> child;
  std::ifstream file;
  std::unique_ptr<receiver::ByteSource> source;
  if (command) {
    child.emplace(*command);
    source = std::make_unique<receiver::ChildSource>(*child);
  } else if (*input == "-") {
    source = std::make_unique<StdinSource>();
  } else {
    file.open(cmdline::PathArgument(*input), std::ios::binary);
    if (!file) throw std::runtime_error("can't open " + cmdline::Quote(*input));
    source = std::make_unique<StreamSource>(file);
  }
  const bool live = !file.is_open();

  const rds::StationSettings sent = fields.ApplyTo(rds::StationSettings{});
  receiver::AirCheck check(sent);
  receiver::StationView view;
  const auto started = std::chrono::steady_clock::now();
  const auto timeout = std::chrono::duration<double>(timeout_s);
  auto next_rate = std::chrono::duration<double>(kRatePeriod);
  unsigned blocks = 0, bad = 0;
  std::atomic<bool> stop{false};
  // A live input that writes nothing must not hold --expect past its time.
  std::thread watchdog;
  if (expect && live) {
    watchdog = std::thread([&] {
      while (!stop && std::chrono::steady_clock::now() - started < timeout) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      stop = true;
      if (child) child->Stop();
    });
  }
  const auto finish = [&] {
    stop = true;
    if (watchdog.joinable()) watchdog.join();
  };

  receiver::DecoderStats stats;
  try {
    stats = receiver::DecodeStream(
        *source, rate_hz,
        [&](const receiver::Group& group, std::chrono::duration<double> at) {
          check.Take(group);
          const auto changed = view.Take(group);
          const std::string when = live ? ClockTime() : SignalTime(at.count());
          blocks += 4;
          for (const bool ok : group.ok) bad += ok ? 0 : 1;
          if (json) {
            if (group.ok[0] || group.ok[1]) out << GroupJson(group, view, at.count()) << '\n';
          } else {
            for (const receiver::Field field : changed) {
              out << when << ' ' << receiver::FieldName(field) << '='
                  << receiver::FieldText(view.fields(), field) << '\n';
            }
            if (at >= next_rate) {
              out << when << " block errors " << std::fixed << std::setprecision(1)
                  << 100.0 * bad / blocks << "%\n";
              blocks = bad = 0;
              next_rate += kRatePeriod;
            }
          }
          out.flush();
          if (expect && check.Confirmed()) return false;
          if (expect && !live && at >= timeout) return false;
          return true;
        },
        &stop);
  } catch (...) {
    finish();
    throw;
  }
  const bool timed_out = std::chrono::steady_clock::now() - started >= timeout;
  finish();

  if (!expect) {
    if (child) {
      throw std::runtime_error("the command " + cmdline::Quote(*command) + " " + child->Ending());
    }
    return view.groups() > 0 ? 0 : kNoRdsStatus;
  }
  if (child && !check.Confirmed() && !timed_out) {
    err << "rdsq7-cli: error: the command " << cmdline::Quote(*command) << ' ' << child->Ending()
        << '\n';
  }
  switch (check.Final()) {
    case receiver::Verdict::kConfirmed:
      if (!json) out << "on air as sent\n";
      return 0;
    case receiver::Verdict::kNoRds:
      err << "rdsq7-cli: error: no RDS received"
          << (stats.pilot ? " (a stereo pilot is there)" : " (no stereo pilot either)")
          << ": check the frequency, the receiver's gain and the MPX level\n";
      return kNoRdsStatus;
    default:
      for (const auto& d : check.Differences()) {
        err << "rdsq7-cli: error: " << receiver::FieldName(d.field) << " on air "
            << cmdline::Quote(d.on_air.empty() ? "(not received)" : d.on_air) << ", sent "
            << cmdline::Quote(d.expected) << '\n';
      }
      return 1;
  }
}

}  // namespace cli

#include "cli/monitor_command.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <fstream>
#include <iomanip>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "appcore/child_process.h"
#include "appcore/monitor_setting.h"
#include "cli/level_report.h"
#include "cli/terminal.h"
#include "cmdline/field_options.h"
#include "cmdline/json_text.h"
#include "cmdline/level_options.h"
#include "cmdline/quote.h"
#include "cmdline/usage_error.h"
#include "rds/station_checks.h"
#include "receiver/air_check.h"
#include "receiver/air_watch.h"
#include "receiver/level_limits.h"

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
    "  --format text|json    text: a line each time a field's value is received with\n"
    "                        evidence (twice alike), and the levels every 10 s\n"
    "                        (default); json: one object per group whose four blocks\n"
    "                        are all valid, and a {\"levels\":...} object every 10 s\n"
    "  --expect              compare what is on air with the station fields below (any\n"
    "                        of them implies --expect): exit 0 as soon as everything is\n"
    "                        seen, 1 when a field received differs after the timeout, 4\n"
    "                        when what came matches but not every field came (a weak\n"
    "                        signal), 3 when no RDS is found at all\n"
    "  --timeout SECONDS     how long --expect waits: in the signal's time for a file, on\n"
    "                        the clock for a command or standard input (default 20)\n"
    "  --save-command COMMAND\n"
    "                        keep COMMAND as the monitor the window runs after each Send\n"
    "                        (\"\" removes it) and exit\n"
    "  -h, --help            show this text\n";

constexpr int kNoRdsStatus = 3;
constexpr int kWeakStatus = 4;

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

// Standard input, read by a thread of its own so that --expect's time can run out on the
// clock while nothing comes: the read that blocks is left behind once the verdict is in.
class StdinSource final : public receiver::ByteSource {
 public:
  explicit StdinSource(const std::atomic<bool>& stop) : stop_(stop) {
    std::thread([shared = shared_] {
      std::vector<std::uint8_t> chunk(16384);
      for (;;) {
        const std::size_t got = ReadStandardInput(chunk.data(), chunk.size());
        std::unique_lock lock(shared->mutex);
        shared->changed.wait(lock, [&] { return shared->bytes.size() < kStdinBuffer; });
        shared->bytes.insert(shared->bytes.end(), chunk.begin(), chunk.begin() + got);
        shared->ended = got == 0;
        shared->changed.notify_all();
        if (shared->ended) return;
      }
    }).detach();
  }

  std::size_t Read(std::span<std::uint8_t> out) override {
    std::unique_lock lock(shared_->mutex);
    while (shared_->bytes.empty() && !shared_->ended) {
      if (stop_) return 0;
      shared_->changed.wait_for(lock, std::chrono::milliseconds(50));
    }
    const std::size_t n = std::min(out.size(), shared_->bytes.size());
    std::copy_n(shared_->bytes.begin(), n, out.begin());
    shared_->bytes.erase(shared_->bytes.begin(), shared_->bytes.begin() + static_cast<long>(n));
    shared_->changed.notify_all();
    return n;
  }

 private:
  static constexpr std::size_t kStdinBuffer = 1 << 20;
  struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::uint8_t> bytes;
    bool ended = false;
  };
  const std::atomic<bool>& stop_;
  std::shared_ptr<Shared> shared_ = std::make_shared<Shared>();
};

// One group (all four blocks valid) as a JSON object: what it carries, and PS, DI and AF
// once each has been received with evidence.
std::string GroupJson(const receiver::Group& group, const receiver::AirFields& f, double seconds) {
  const auto& w = group.words;
  char pi[5];
  std::snprintf(pi, sizeof pi, "%04X", w[0]);
  std::ostringstream out;
  out << "{\"time\":" << std::fixed << std::setprecision(3) << seconds << ",\"group\":\""
      << receiver::GroupTypeText(group) << "\",\"pi\":\"" << pi
      << "\",\"pty\":" << ((w[1] >> 5) & 0x1F)
      << ",\"tp\":" << ((w[1] & 0x0400) ? "true" : "false");
  if ((w[1] >> 12) == 0) {
    out << ",\"ta\":" << ((w[1] & 0x10) ? "true" : "false")
        << ",\"ms\":" << ((w[1] & 0x08) ? "true" : "false");
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
    if (f.ps) out << ",\"ps\":" << cmdline::JsonString(receiver::FieldText(f, receiver::Field::kPs));
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

// What an operator reads beside a code: the program type's name, and in North America the
// call letters of the PI.
std::string Beside(const receiver::AirFields& f, receiver::Field field, rds::PtyNames names) {
  if (field == receiver::Field::kPty && f.pty) {
    const std::string name(rds::PtyName(*f.pty, names));
    return name.front() == '(' ? " " + name : " (" + name + ")";  // "(None)" has its own
  }
  if (field == receiver::Field::kPi && f.pi && names == rds::PtyNames::kRbds) {
    if (const auto call = rds::CallLettersFromPi(*f.pi)) return " (" + *call + ")";
  }
  return {};
}

}  // namespace

int MonitorCommand(cmdline::Arguments& args, std::ostream& out, std::ostream& err) {
  cmdline::FieldOptions fields;
  cmdline::LevelOptions level_options;
  bool expect = false;
  bool json = false;
  std::optional<std::string> input, command, save_command;
  std::optional<double> rate_hz;
  double timeout_s = 20;
  while (!args.AtEnd()) {
    const std::string option = args.NextOption();
    if (fields.Parse(option, args)) {
      expect = expect || option != "--rbds";
    } else if (level_options.Parse(option, args)) {
    } else if (option == "--input") {
      input = args.Value();
    } else if (option == "--command") {
      command = args.Value();
    } else if (option == "--save-command") {
      save_command = args.Value();
    } else if (option == "--rate") {
      rate_hz = cmdline::DecimalArgument(option, args.Value(), 128000, 250000);
    } else if (option == "--timeout") {
      timeout_s = cmdline::DecimalArgument(option, args.Value(), 1, 86400);
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
      out << kMonitorHelp << cmdline::FieldOptions::Help(args) << cmdline::LevelOptions::Help();
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
  level_options.Check();

  std::atomic<bool> stop{false};
  std::optional<app::ChildProcess> child;
  std::ifstream file;
  std::unique_ptr<receiver::ByteSource> source;
  if (command) {
    child.emplace(*command);
    source = std::make_unique<receiver::ChildSource>(*child);
  } else if (*input == "-") {
    source = std::make_unique<StdinSource>(stop);
  } else {
    file.open(cmdline::PathArgument(*input), std::ios::binary);
    if (!file) throw std::runtime_error("can't open " + cmdline::QuotePath(*input));
    source = std::make_unique<StreamSource>(file);
  }
  const bool live = !file.is_open();

  const rds::StationSettings sent = fields.ApplyTo(rds::StationSettings{});
  receiver::AirCheck check(sent);
  const auto started = std::chrono::steady_clock::now();
  const auto timeout = std::chrono::duration<double>(timeout_s);
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

  // The levels every 10 s and at the end; after --expect, those outside their limits are
  // warned of.
  std::optional<receiver::Levels> last_levels;
  const auto print_levels = [&](const receiver::Levels& levels) {
    if (last_levels && last_levels->at == levels.at) return;  // the end is a report's
    last_levels = levels;
    if (levels.span.count() <= 0) return;
    const auto faults = receiver::LevelFaults(levels, level_options.Limits());
    if (json) {
      out << LevelsJson(levels, faults) << '\n';
    } else {
      const std::string when = live ? ClockTime() : SignalTime(levels.at.count());
      out << when << ' ' << LevelsText(levels) << '\n';
      for (const auto& fault : faults) out << when << " outside limits: " << fault.text << '\n';
    }
    out.flush();
  };
  const receiver::LevelWatch level_watch{level_options.Meter(), print_levels, print_levels};

  receiver::DecoderStats stats;
  try {
    stats = receiver::DecodeStream(
        *source, rate_hz,
        [&](const receiver::Group& group, std::chrono::duration<double> at) {
          // A file's time is its signal's: what comes after the timeout does not count. (The
          // decoder hands over a group every 104 bits, with or without RDS.)
          if (expect && !live && at > timeout) return false;
          const auto changed = check.Take(group);
          const receiver::AirFields& on_air = check.view().fields();
          const std::string when = live ? ClockTime() : SignalTime(at.count());
          if (json) {
            if (group.ok == std::array<bool, 4>{true, true, true, true}) {
              out << GroupJson(group, on_air, at.count()) << '\n';
            }
          } else {
            for (const receiver::Field field : changed) {
              out << when << ' ' << receiver::FieldName(field) << '='
                  << receiver::FieldText(on_air, field) << Beside(on_air, field, fields.PtyList())
                  << '\n';
            }
          }
          out.flush();
          return !(expect && check.Confirmed());
        },
        &stop, &level_watch);
  } catch (const receiver::RateMismatch& e) {
    finish();
    throw cmdline::UsageError(std::string("option --rate: ") + e.what());
  } catch (...) {
    finish();
    throw;
  }
  const bool timed_out = std::chrono::steady_clock::now() - started >= timeout;
  finish();

  if (expect && last_levels) {
    for (const auto& fault : receiver::LevelFaults(*last_levels, level_options.Limits())) {
      err << "rdsq7-cli: warning: level outside its limits: " << fault.text << '\n';
    }
  }
  const bool nothing = check.view().fields().Empty();
  if (!expect) {
    if (child) {
      throw std::runtime_error("the command " + cmdline::QuotePath(*command) + " " +
                               child->Ending());
    }
    return nothing ? kNoRdsStatus : 0;
  }
  if (child && !check.Confirmed() && !timed_out) {
    // Ended by itself: a command that could not start, or a receiver that failed, is an
    // error of its own, not a verdict on the air.
    const std::string ending =
        "the command " + cmdline::QuotePath(*command) + " " + child->Ending();
    if (nothing) throw std::runtime_error(ending + " before any RDS was received");
    err << "rdsq7-cli: error: " << ending << '\n';
  }
  // Sent as asked, or not: a default PI on air is worth a word either way.
  if (const auto pi = check.view().fields().pi; pi && rds::IsDefaultPi(*pi)) {
    const std::string text = receiver::FieldText(check.view().fields(), receiver::Field::kPi);
    err << "rdsq7-cli: warning: on air: "
        << rds::WarningText({rds::WarningKind::kPiDefault, text, {}}) << '\n';
  }
  const auto differences = check.Differences();
  switch (check.Final()) {
    case receiver::Verdict::kConfirmed:
      if (!json) out << "on air as sent\n";
      return 0;
    case receiver::Verdict::kNoRds:
      err << "rdsq7-cli: error: no RDS received"
          << (stats.pilot ? " (a stereo pilot is there)" : " (no stereo pilot either)")
          << ": check the frequency, the receiver's gain and the MPX level\n";
      return kNoRdsStatus;
    case receiver::Verdict::kIncomplete: {
      std::ostringstream rate;
      rate << std::fixed << std::setprecision(1)
           << 100.0 * static_cast<double>(stats.blocks_bad) /
                  static_cast<double>(std::max<std::uint64_t>(stats.blocks_received, 1));
      err << "rdsq7-cli: error: " << receiver::DifferenceNames(differences)
          << " not received with certainty (block errors " << rate.str()
          << "%): the signal is too weak to confirm them; what was received matches\n";
      return kWeakStatus;
    }
    case receiver::Verdict::kMismatch:
      break;
  }
  for (const auto& d : receiver::Received(differences, true)) {
    err << "rdsq7-cli: error: " << receiver::FieldName(d.field) << " on air "
        << cmdline::Quote(d.on_air) << ", sent " << cmdline::Quote(d.expected) << '\n';
  }
  if (const auto missing = receiver::Received(differences, false); !missing.empty()) {
    err << "rdsq7-cli: not received with certainty: " << receiver::DifferenceNames(missing) << '\n';
  }
  return 1;
}

}  // namespace cli

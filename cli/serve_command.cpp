#include "cli/serve_command.h"

#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <asio/signal_set.hpp>
#include <cctype>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <utility>
#include <vector>

#include "appcore/bounded_file.h"
#include "appcore/single_instance.h"
#include "cmdline/duration.h"
#include "cmdline/field_options.h"
#include "cmdline/level_options.h"
#include "cmdline/quote.h"
#include "cmdline/send_lines.h"
#include "cmdline/usage_error.h"
#include "serve/air_monitor.h"
#include "serve/allow.h"
#include "serve/http_listener.h"
#include "serve/log.h"
#include "serve/network.h"
#include "serve/send_worker.h"
#include "serve/service_host.h"
#include "serve/settings_lock.h"
#include "serve/station.h"
#include "serve/station_alarms.h"
#include "serve/status_site.h"
#include "transfer/port_open.h"
#include "transfer/thread_priority.h"

namespace cli {
namespace {

// How serve is stopped, in each system's terms.
#ifdef _WIN32
#define RDSQ7_SERVE_STOPS "(Ctrl+C, Ctrl+Break, closed console).\n"
#else
#define RDSQ7_SERVE_STOPS "(SIGINT, SIGTERM, SIGHUP, Ctrl+C).\n"
#endif

constexpr const char* kServeHelp =
    "Usage: rdsq7-cli serve (--port PORT | --dry-run) [options]\n"
    "Keeps one station state, takes changes over the network or a serial line and sends\n"
    "them to the encoder; runs until stopped " RDSQ7_SERVE_STOPS
    "  --port PORT           the encoder's port, as for send\n"
    "  --dry-run             record the lines instead of driving a port\n"
    "  --listen ADDR:PORT    text command port over TCP (repeatable; port 0 picks one)\n"
    "  --uecp ADDR:PORT      UECP over TCP (repeatable)\n"
    "  --uecp-udp ADDR:PORT  UECP over UDP (repeatable)\n"
    "  --listen-udp ADDR:PORT\n"
    "                        text commands over UDP, one per datagram or line (repeatable)\n"
    "  --text-serial DEVICE[:BAUD]\n"
    "                        text commands over a serial line, 8N1 (9600; repeatable)\n"
    "  --uecp-serial DEVICE  UECP over a serial line, 8N1\n"
    "  --uecp-baud N         its speed (9600)\n"
    "  --uecp-address SITE:ENCODER\n"
    "                        take only frames for this site (1-1023) and encoder (1-63);\n"
    "                        0 in a frame means all (default: take every frame)\n"
    "  --listen-http ADDR:PORT\n"
    "                        the status page, /status.json, /metrics and /history.json\n"
    "                        over HTTP, read-only (repeatable)\n"
    "  --allow CIDR          peers that may connect (repeatable; default: loopback only)\n"
    "  --max-connections N   text connections open at once on each --listen port (16)\n"
    "  --idle-timeout SECONDS\n"
    "                        a text connection that ends no line for this long is\n"
    "                        closed (600; 0: never); a line must end within 10 s\n"
    "  --uecp-max-connections N, --uecp-idle-timeout SECONDS\n"
    "                        the same for each --uecp port (16, 600)\n"
    "  --ta-timeout SECONDS  TA set to 1 falls back to 0 after this long (0: never)\n"
    "  --fallback-after DURATION\n"
    "                        with no change for this long (90s, 10m, 1h), PS, PTY and\n"
    "                        TA go back to the fallback values (default: never)\n"
    "  --fallback-settings FILE\n"
    "                        a settings file with those values (default: serve's own\n"
    "                        at start)\n"
    "  --max-sends-per-hour N\n"
    "                        beyond N sends in an hour changes wait, coalesced; a TA\n"
    "                        change still goes out (120; 0: no limit)\n"
    "  --monitor-command COMMAND\n"
    "                        a command that writes the station's FM multiplex (see\n"
    "                        monitor --help): every send is confirmed on air, a\n"
    "                        mismatch sent once more, a second one an ALARM in STATUS\n"
    "  --monitor-timeout SECONDS\n"
    "                        how long a send has to show on air (20); the monitor's\n"
    "                        levels show in STATUS, judged by the level options below\n"
    "  --alarm-command COMMAND\n"
    "                        run COMMAND for each alarm, recovery, start, heartbeat and\n"
    "                        test event, the event as JSON on its standard input and in\n"
    "                        RDSQ7_EVENT, RDSQ7_CONDITION, RDSQ7_INSTANCE, RDSQ7_SUMMARY\n"
    "                        (repeatable; see docs/alarms.md)\n"
    "  --alarm-trip SECONDS  a fault raises its alarm after holding this long (30)\n"
    "  --alarm-clear SECONDS and clears after being gone this long (10)\n"
    "  --heartbeat DURATION  a heartbeat event this often (15m; default: none)\n"
    "  --test-alarm          send one test event to the alarm commands and exit with\n"
    "                        their status\n"
    "  --history FILE        append each send, verdict, alarm, recovery, start and stop\n"
    "                        to FILE, one JSON line each (moved to FILE.1 at 10 MB)\n"
    "  --instance NAME       run beside other serve instances, one per encoder: each\n"
    "                        takes its own name (default: rdsq7-serve)\n"
    "  --config FILE         read options from FILE, one per line (\"--listen 127.0.0.1:4001\"\n"
    "                        or \"listen 127.0.0.1:4001\"; # starts a comment line)\n"
    "  --log FILE            append the log to FILE instead of writing it to stdout\n"
#if defined(_WIN32)
    "                        (renamed FILE.1 at 10 MB, a new FILE begun)\n"
#else
    "                        (SIGHUP opens it again, after log rotation)\n"
#endif
    "  --install-service NAME [options]\n"
    "                        Windows: register serve with these options as the service\n"
    "                        NAME (automatic start, as LocalService; log in\n"
    "                        %ProgramData%\\rdsq7\\serve-NAME.log unless --log is given)\n"
    "  --remove-service NAME Windows: stop the service NAME and remove it\n"
    "  --bytes FILE, --vcd FILE\n"
    "                        write each send's recorded lines, as for send\n"
    "  --high-priority       run sends at the best priority the system grants\n"
    "  -h, --help            show this text\n"
    "With --settings FILE every change and every send's record is saved to FILE; a FILE\n"
    "that does not exist yet is made at the first save, in a folder that must exist. One\n"
    "serve at a time uses a FILE. The exit status is 1 when the last save failed.\n";

constexpr unsigned kDefaultBaud = 9600;
// serve's own single-instance name: the window's is another, so both run side by side.
constexpr char kServeInstanceName[] = "rdsq7-serve";

class AlreadyRunningError : public std::runtime_error {
 public:
  explicit AlreadyRunningError(const std::string& name)
      : std::runtime_error("serve instance '" + name + "' is already running") {}
};

struct ServeOptions {
  cmdline::SendTarget target;
  std::vector<asio::ip::tcp::endpoint> text, uecp, uecp_udp, text_udp, http;
  std::optional<std::string> serial;
  unsigned baud = kDefaultBaud;
  std::vector<std::pair<std::string, unsigned>> text_serial;  // device, baud
  std::optional<serve::UecpAddress> address;
  serve::AllowList allow;
  serve::ConnectionLimits text_limits, uecp_limits;
  std::chrono::seconds ta_timeout{0};
  std::size_t max_sends_per_hour = serve::kDefaultSendsPerHour;
  std::chrono::seconds fallback_after{0};
  std::optional<std::string> fallback_settings;
  std::optional<std::string> monitor_command;
  std::chrono::seconds monitor_timeout = serve::kConfirmTimeout;
  cmdline::LevelOptions levels;
  std::optional<std::string> instance;
  std::optional<std::string> new_settings;  // --settings FILE that does not exist yet
  std::optional<std::string> log;           // --log FILE
  serve::AlarmOptions alarms;
  bool test_alarm = false;
};

// The folder of a file that serve makes later: missing, it is an error now rather than a
// loss found later.
void CheckFolder(const std::string& option, const std::string& file) {
  const std::filesystem::path path = cmdline::PathArgument(file);
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  if (!std::filesystem::is_directory(folder)) {
    throw std::runtime_error("option " + option + ": no such folder " +
                             cmdline::QuotePath(folder.string()));
  }
}

unsigned Number(const std::string& option, const std::string& value, unsigned long highest,
                unsigned long lowest = 0) {
  if (value.empty() || value.size() > 9 ||
      value.find_first_not_of("0123456789") != std::string::npos || std::stoul(value) > highest ||
      std::stoul(value) < lowest) {
    throw cmdline::UsageError("option " + option + ": expected a number from " +
                              std::to_string(lowest) + " to " + std::to_string(highest) + ", got " +
                              cmdline::Quote(value));
  }
  return static_cast<unsigned>(std::stoul(value));
}

// A speed the line can be set to, checked now rather than at each attempt to open it.
unsigned Baud(const std::string& option, const std::string& value) {
  if (value.empty() || value.size() > 9 ||
      value.find_first_not_of("0123456789") != std::string::npos ||
      !serve::IsStandardSerialSpeed(std::stoul(value))) {
    throw cmdline::UsageError("option " + option +
                              ": expected a standard serial speed such as 9600 or 115200, got " +
                              cmdline::Quote(value));
  }
  return static_cast<unsigned>(std::stoul(value));
}

// "90s", "10m", "1h", or seconds without a unit.
std::chrono::seconds Duration(const std::string& option, const std::string& value) {
  const char unit = value.empty() ? 's' : value.back();
  const std::string number =
      std::isdigit(static_cast<unsigned char>(unit)) ? value : value.substr(0, value.size() - 1);
  const std::chrono::seconds scale = unit == 'h'   ? std::chrono::hours{1}
                                     : unit == 'm' ? std::chrono::minutes{1}
                                                   : std::chrono::seconds{1};
  if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos ||
      number.size() > 6 ||
      (!std::isdigit(static_cast<unsigned char>(unit)) && unit != 's' && unit != 'm' &&
       unit != 'h')) {
    throw cmdline::UsageError("option " + option +
                              ": expected a duration such as 90s, 10m or 1h, got " +
                              cmdline::Quote(value));
  }
  return scale * static_cast<long>(std::stoul(number));
}

// Site and encoder 0 in a frame's address mean every site or encoder: never one's own.
serve::UecpAddress ParseUecpAddress(const std::string& value) {
  const auto colon = value.find(':');
  const auto part = [&](std::string text, unsigned long highest) -> unsigned long {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos)
      return 0;
    const unsigned long number = std::stoul(text);
    return number > highest ? 0 : number;
  };
  const unsigned long site = colon == std::string::npos ? 0 : part(value.substr(0, colon), 1023);
  const unsigned long encoder = colon == std::string::npos ? 0 : part(value.substr(colon + 1), 63);
  if (site == 0 || encoder == 0) {
    throw cmdline::UsageError(
        "option --uecp-address: expected SITE:ENCODER, site 1 to 1023 and encoder 1 to 63, got " +
        cmdline::Quote(value));
  }
  return {static_cast<std::uint16_t>(site), static_cast<std::uint8_t>(encoder)};
}

// A line of a --config file as arguments: "--name value" or "name value".
struct ConfigLine {
  std::size_t number;
  std::vector<std::string> args;
};

std::vector<ConfigLine> ConfigLines(const std::string& file) {
  // Read as the other program files are: a FIFO or a device named here cannot stall serve.
  constexpr std::size_t kConfigLimit = 64 * 1024;
  const app::BoundedRead read = app::ReadBoundedFile(cmdline::PathArgument(file), kConfigLimit);
  if (!read.found)
    throw std::runtime_error("option --config: no such file " + cmdline::QuotePath(file));
  if (read.failure != app::ReadFailure::kNone) {
    throw std::runtime_error("option --config: can't read " + cmdline::QuotePath(file) + " (" +
                             app::DescribeReadFailure(read.failure, kConfigLimit) + ")");
  }
  // An editor on Windows may put a byte-order mark in front of the first option.
  constexpr std::string_view kBom = "\xEF\xBB\xBF";
  std::istringstream in(read.bytes.starts_with(kBom) ? read.bytes.substr(kBom.size()) : read.bytes);
  std::vector<ConfigLine> lines;
  std::size_t number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto start = line.find_first_not_of(" \t");
    if (start == std::string::npos || line[start] == '#') continue;
    line.erase(0, start);
    const auto space = line.find_first_of(" \t");
    std::string name = line.substr(0, space);
    if (name.rfind("--", 0) != 0) name = "--" + name;
    lines.push_back({number, {name}});
    if (space == std::string::npos) continue;
    const auto value = line.find_first_not_of(" \t", space);
    if (value != std::string::npos) lines.back().args.push_back(line.substr(value));
  }
  return lines;
}

// An install makes the service's folder (%ProgramData%\rdsq7) before any option is checked:
// the options may name files there, as the documented --settings does.
void MakeServiceFolderFirst(const std::vector<std::string>& args) {
#ifdef _WIN32
  for (const std::string& arg : args) {
    if (arg == "--") return;
    if (arg != "--install-service" && !arg.starts_with("--install-service=")) continue;
    std::error_code ignored;  // a folder that cannot be made shows at the service's start
    std::filesystem::create_directories(serve::DefaultServiceLogFolder(), ignored);
    return;
  }
#else
  (void)args;  // no service manager: the option is refused in its place
#endif
}

// Takes one option of serve; false for one it does not know.
bool ParseServeOption(const std::string& option, cmdline::Arguments& args,
                      cmdline::FieldOptions& fields, ServeOptions& options) {
  if (option == "--settings") {
    // A first start: the file is made at the first save.
    const std::string file = args.Value();
    const std::filesystem::path path = cmdline::PathArgument(file);
    if (!std::filesystem::exists(path)) {
      CheckFolder(option, file);
      if (options.new_settings)
        throw cmdline::UsageError("option --settings: given more than once");
      options.new_settings = file;
      return true;
    }
    cmdline::Arguments again({option, file});
    again.NextOption();
    return fields.Parse(option, again);
  }
  if (fields.Parse(option, args) || options.target.Parse(option, args) ||
      options.levels.Parse(option, args)) {
    return true;
  } else if (option == "--listen") {
    options.text.push_back(serve::ParseEndpoint(option, args.Value()));
  } else if (option == "--uecp") {
    options.uecp.push_back(serve::ParseEndpoint(option, args.Value()));
  } else if (option == "--listen-http") {
    options.http.push_back(serve::ParseEndpoint(option, args.Value()));
  } else if (option == "--listen-udp") {
    options.text_udp.push_back(serve::ParseEndpoint(option, args.Value()));
  } else if (option == "--uecp-udp") {
    options.uecp_udp.push_back(serve::ParseEndpoint(option, args.Value()));
  } else if (option == "--uecp-serial") {
    options.serial = args.Value();
  } else if (option == "--text-serial") {
    // DEVICE or DEVICE:BAUD; a device name may itself hold a colon, a speed is digits.
    const std::string value = args.Value();
    const auto colon = value.rfind(':');
    if (colon != std::string::npos && colon + 1 < value.size() &&
        value.find_first_not_of("0123456789", colon + 1) == std::string::npos) {
      options.text_serial.emplace_back(value.substr(0, colon),
                                       Baud(option, value.substr(colon + 1)));
    } else {
      options.text_serial.emplace_back(value, kDefaultBaud);
    }
  } else if (option == "--uecp-baud") {
    options.baud = Baud(option, args.Value());
  } else if (option == "--uecp-address") {
    options.address = ParseUecpAddress(args.Value());
  } else if (option == "--allow") {
    options.allow.Add(args.Value());
  } else if (option == "--ta-timeout") {
    options.ta_timeout = std::chrono::seconds(Number(option, args.Value(), 86400));
  } else if (option == "--fallback-after") {
    options.fallback_after = Duration(option, args.Value());
  } else if (option == "--fallback-settings") {
    options.fallback_settings = args.Value();
  } else if (option == "--monitor-command") {
    options.monitor_command = args.Value();
  } else if (option == "--monitor-timeout") {
    options.monitor_timeout = std::chrono::seconds(Number(option, args.Value(), 3600, 1));
  } else if (option == "--alarm-command") {
    options.alarms.commands.push_back(args.Value());
  } else if (option == "--alarm-trip") {
    options.alarms.delays.trip = std::chrono::seconds(Number(option, args.Value(), 86400));
  } else if (option == "--alarm-clear") {
    options.alarms.delays.clear = std::chrono::seconds(Number(option, args.Value(), 86400));
  } else if (option == "--heartbeat") {
    options.alarms.heartbeat = cmdline::ParseDuration(option, args.Value());
    if (options.alarms.heartbeat.count() == 0)
      throw cmdline::UsageError("option --heartbeat: expected a duration above 0");
  } else if (option == "--history") {
    const std::string file = args.Value();
    CheckFolder(option, file);
    options.alarms.history = cmdline::PathArgument(file);
  } else if (option == "--test-alarm") {
    args.NoValue();
    options.test_alarm = true;
  } else if (option == "--max-sends-per-hour") {
    options.max_sends_per_hour = Number(option, args.Value(), 100000);
  } else if (option == "--max-connections") {
    options.text_limits.max_connections = Number(option, args.Value(), 1000);
  } else if (option == "--uecp-max-connections") {
    options.uecp_limits.max_connections = Number(option, args.Value(), 1000);
  } else if (option == "--idle-timeout") {
    options.text_limits.idle_timeout = std::chrono::seconds(Number(option, args.Value(), 604800));
  } else if (option == "--uecp-idle-timeout") {
    options.uecp_limits.idle_timeout = std::chrono::seconds(Number(option, args.Value(), 604800));
  } else if (option == "--log") {
    options.log = args.Value();  // the last one counts: an installed service puts its own first
    CheckFolder(option, *options.log);
  } else if (option == "--instance") {
    const std::string name = args.Value();
    if (name.empty() || name.find_first_of("/\\") != std::string::npos) {
      throw cmdline::UsageError("option --instance: expected a name without / or \\, got " +
                                cmdline::Quote(name));
    }
    options.instance = name;
  } else {
    return false;
  }
  return true;
}

// Takes the options of a --config file; a line that fails names the file and line:
// "FILE:LINE: " before the option's own message, with the same exit status.
void ParseConfig(const std::string& file, cmdline::FieldOptions& fields, ServeOptions& options) {
  for (const ConfigLine& line : ConfigLines(file)) {
    const std::string where = file + ':' + std::to_string(line.number) + ": ";
    try {
      cmdline::Arguments config(line.args);
      const std::string name = config.NextOption();
      if (name == "--config")
        throw cmdline::UsageError("option --config: a config file names no other");
      if (!ParseServeOption(name, config, fields, options))
        throw cmdline::UsageError("unknown option " + cmdline::Quote(name) + " for serve");
      if (!config.AtEnd()) {
        throw cmdline::UsageError("option " + name + " takes no value, got " +
                                  cmdline::Quote(line.args.back()));
      }
    } catch (const cmdline::UsageError& e) {
      throw cmdline::UsageError(where + e.what());
    } catch (const std::exception& e) {
      throw std::runtime_error(where + e.what());
    }
  }
}

// --test-alarm: one test event to each alarm command, run in turn; the status of the first
// that failed (1 when it did not start or was ended), or 0.
int TestAlarm(const ServeOptions& options, std::ostream& out, std::ostream& err) {
  if (options.alarms.commands.empty())
    throw cmdline::UsageError("option --test-alarm: no --alarm-command given");
  serve::AlarmEvent event;
  event.kind = serve::EventKind::kTest;
  event.time = std::chrono::system_clock::now();
  const std::string instance = options.instance.value_or(kServeInstanceName);
  int status = 0;
  for (const std::string& command : options.alarms.commands) {
    const app::CommandResult result =
        serve::RunAlarmCommand(command, event, instance, serve::kAlarmCommandTimeout);
    (result.Succeeded() ? out : err)
        << "alarm command " << cmdline::Quote(command) << ": "
        << (result.Succeeded() ? "test event delivered" : result.ending) << '\n';
    if (!result.Succeeded() && !result.output.empty()) err << result.output;
    if (!result.Succeeded() && status == 0)
      status = result.exit_status > 0 ? result.exit_status : 1;
  }
  return status;
}

// Runs serve until it is stopped: by a signal, or by the service manager through `service`.
int Serve(cmdline::FieldOptions& fields, const ServeOptions& options, std::ostream& out,
          serve::ServiceControl* service);

}  // namespace

int ServeCommand(cmdline::Arguments& args, std::ostream& out, std::ostream& err) {
  cmdline::FieldOptions fields;
  ServeOptions options;
  std::optional<std::string> install_service, remove_service, service;
  std::size_t options_given = 0;
  MakeServiceFolderFirst(args.All());
  while (!args.AtEnd()) {
    const std::string option = args.NextOption();
    ++options_given;
    if (option == "--install-service" || option == "--remove-service" || option == "--service") {
      const std::string name = args.Value();
      serve::CheckServiceName(option, name);
      serve::RequireServiceManager(option);
      (option == "--install-service"  ? install_service
       : option == "--remove-service" ? remove_service
                                      : service) = name;
    } else if (option == "--config") {
      ParseConfig(args.Value(), fields, options);
    } else if (option == "--help") {
      args.NoValue();
      out << kServeHelp << cmdline::FieldOptions::Help(args) << cmdline::LevelOptions::Help();
      return 0;
    } else if (!ParseServeOption(option, args, fields, options)) {
      throw cmdline::UsageError("unknown option " + cmdline::Quote(option) + " for serve");
    }
  }
  if (remove_service) {
    if (options_given > 1)
      throw cmdline::UsageError("option --remove-service: takes no other option");
    out << serve::RemoveService(*remove_service) << '\n';
    return 0;
  }
  if (install_service && service) {
    throw cmdline::UsageError("option --install-service: not with --service");
  }
  if (const auto note = fields.ObsoleteNote()) err << *note << '\n';
  options.levels.Check();
  if (options.test_alarm) return TestAlarm(options, out, err);
  if (options.target.dry_run == options.target.port.has_value()) {
    throw cmdline::UsageError("serve needs exactly one of --port PORT and --dry-run");
  }
  if (options.text.empty() && options.text_udp.empty() && options.text_serial.empty() &&
      options.uecp.empty() && options.uecp_udp.empty() && !options.serial) {
    throw cmdline::UsageError(
        "serve needs --listen, --listen-udp, --text-serial, --uecp, --uecp-udp or "
        "--uecp-serial");
  }

  if (install_service) {
    const std::filesystem::path log_folder = serve::DefaultServiceLogFolder();
    out << serve::InstallService(*install_service,
                                 serve::ServiceArguments(*install_service, args.All(), log_folder,
                                                         std::filesystem::current_path()))
        << '\n';
    return 0;
  }
  if (service) {
    // One lock per service, as for the systemd unit's instances.
    if (!options.instance) options.instance = *service;
    options.alarms.service = *service;
    return serve::RunAsService(*service, [&](serve::ServiceControl& control) {
      try {
        return Serve(fields, options, out, &control);
      } catch (const std::exception& e) {
        // A service has no console: what keeps it from starting goes to its log too.
        if (options.log) {
          std::ofstream(cmdline::PathArgument(*options.log), std::ios::app | std::ios::binary)
              << serve::IsoTime(std::chrono::system_clock::now()) << " error: " << e.what() << '\n';
        }
        throw;
      }
    });
  }
  return Serve(fields, options, out, nullptr);
}

namespace {

int Serve(cmdline::FieldOptions& fields, const ServeOptions& options, std::ostream& out,
          serve::ServiceControl* service) {
  const std::string instance_name = options.instance.value_or(kServeInstanceName);
  const app::SingleInstance instance(instance_name);
  if (instance.AlreadyRunning()) throw AlreadyRunningError(instance_name);

  const auto open_log = [&] {
    try {
      return serve::ServeLog(cmdline::PathArgument(*options.log), serve::kLogRotateBytes);
    } catch (const std::exception& e) {
      throw std::runtime_error(std::string("option --log: ") + e.what());
    }
  };
  asio::io_context io;
  serve::ServeLog log = options.log ? open_log() : serve::ServeLog(out);
  serve::SendWorker worker(options.target);
  std::optional<std::filesystem::path> settings_path;
  if (fields.SettingsFile()) settings_path = cmdline::PathArgument(*fields.SettingsFile());
  if (options.new_settings) settings_path = cmdline::PathArgument(*options.new_settings);
  std::optional<rds::StationSettings> fallback;
  if (options.fallback_settings) {
    app::SettingsValues values;
    if (!app::LoadSettingsFile(cmdline::PathArgument(*options.fallback_settings), values)
             .file_used) {
      throw std::runtime_error("option --fallback-settings: can't use " +
                               cmdline::QuotePath(*options.fallback_settings) +
                               " (no settings file of 31 lines)");
    }
    fallback = values.station;
  }
  std::optional<serve::SettingsLock> settings_lock;
  if (settings_path) settings_lock.emplace(*settings_path);
  serve::ServeStation station(
      io, fields.ApplyTo(app::SettingsValues{}),
      {settings_path, options.ta_timeout, options.max_sends_per_hour, options.fallback_after,
       fallback, fields.CallLetters(), options.levels.Limits()},
      worker, log);
  serve::AlarmOptions alarm_options = options.alarms;
  alarm_options.instance = instance_name;
  serve::StationAlarms alarms(io, alarm_options, log);
  station.UseAlarms(alarms);
  serve::ServeNetwork network(io, station, log, options.allow, options.address);
  serve::StatusSite site({{instance_name, options.target.port, std::chrono::system_clock::now(),
                           options.alarms.history.has_value()},
                          [&station] { return station.Report(); },
                          options.alarms.history
                              ? serve::HistoryFileSource(*options.alarms.history)
                              : nullptr});
  std::vector<std::unique_ptr<serve::HttpListener>> http;

  std::string opened;
  // A port that cannot be had (one in use) names its option and address.
  const auto listen = [&](const char* option, const asio::ip::tcp::endpoint& e, auto open) {
    try {
      opened += ' ' + open();
    } catch (const std::system_error& error) {
      throw std::runtime_error(std::string("option ") + option + ": can't use " +
                               serve::EndpointText(e.address(), e.port()) + ": " +
                               error.code().message());
    }
  };
  for (const auto& e : options.text) {
    listen("--listen", e,
           [&] { return network.ListenTcp(serve::Protocol::kText, e, options.text_limits); });
  }
  for (const auto& e : options.uecp) {
    listen("--uecp", e,
           [&] { return network.ListenTcp(serve::Protocol::kUecp, e, options.uecp_limits); });
  }
  for (const auto& e : options.text_udp) {
    listen("--listen-udp", e, [&] {
      return network.ListenUdp(serve::Protocol::kText, {e.address(), e.port()});
    });
  }
  for (const auto& e : options.uecp_udp) {
    listen("--uecp-udp", e, [&] {
      return network.ListenUdp(serve::Protocol::kUecp, {e.address(), e.port()});
    });
  }
  for (const auto& [device, baud] : options.text_serial) {
    opened += ' ' + network.OpenSerial(serve::Protocol::kText, device, baud);
  }
  if (options.serial) {
    opened += ' ' + network.OpenSerial(serve::Protocol::kUecp, *options.serial, options.baud);
  }
  for (const auto& e : options.http) {
    listen("--listen-http", e, [&] {
      http.push_back(std::make_unique<serve::HttpListener>(
          io, e, options.allow, serve::HttpLimits{},
          [&site](std::string_view head) { return site.Answer(head); },
          [&network](const asio::ip::address& address, const std::string& what,
                     const std::string& why) { network.LogRefusal(address, what, why); }));
      return http.back()->Name();
    });
  }
  log.Line("serve" + opened +
           (options.target.port ? " encoder=" + *options.target.port : " dry-run") +
           (options.instance ? " instance=" + *options.instance : ""));
  // Tried and given back here; each send takes it again on the sending thread.
  if (options.target.high_priority) {
    log.Line("high priority: " + transfer::RaisedThreadPriority().Description());
  }
  if (options.new_settings)
    log.Line("settings file " + *options.new_settings + " made at the first save");

  // The encoder's port is checked now, so that a missing one shows before any change.
  std::optional<std::string> port_problem;
  if (options.target.port) {
    try {
      transfer::OpenNamedPort(*options.target.port);
    } catch (const std::exception& e) {
      port_problem = e.what();
    }
  }
  std::optional<serve::AirMonitor> monitor;
  if (options.monitor_command) {
    monitor.emplace(
        *options.monitor_command, options.monitor_timeout, log,
        [&](receiver::AirEvent event, std::vector<receiver::FieldDifference> d) {
          asio::post(io, [&station, event, d = std::move(d)] { station.OnAir(event, d); });
        },
        [&](bool present) {
          asio::post(io, [&station, present] { station.OnMonitorSamples(present); });
        },
        options.levels.Meter(),
        [&](const serve::TakenLevels& taken) {
          asio::post(io, [&station, taken] { station.OnLevels(taken.levels, taken.taken); });
        },
        [&](std::vector<serve::Measurement> measured) {
          asio::post(io, [&station, m = std::move(measured)] { station.OnReception(m); });
        });
    station.OnSent([&monitor](const rds::StationSettings& sent) { monitor->Sent(sent); });
    log.Line("monitor: " + *options.monitor_command);
  }
  station.Start(fields.SettingsFile().has_value(), port_problem);
  alarms.Start(options.monitor_command.has_value());

  asio::signal_set signals(io, SIGINT, SIGTERM);
#if defined(SIGHUP)
  // "Reopen your log", as log rotation asks of every daemon: serve goes on.
  asio::signal_set hangups(io, SIGHUP);
  std::function<void()> reopen_on_hangup = [&] {
    hangups.async_wait([&](const std::error_code& error, int) {
      if (error) return;
      log.Reopen();
      reopen_on_hangup();
    });
  };
  reopen_on_hangup();
#endif
#if defined(SIGBREAK)
  signals.add(SIGBREAK);  // Windows: Ctrl+Break and closing the console window
#endif
  int status = 0;
  bool stopping = false;
  const auto stop = [&] {
    if (std::exchange(stopping, true)) return;
    log.Line("stopping");
    network.Close();
    for (const auto& listener : http) listener->Close();
    station.Stop([&](bool saved) {
      status = saved ? 0 : 1;
      log.Line(saved ? "stopped" : "stopped; the settings file does not hold the last state");
      alarms.Stop();
      io.stop();
    });
  };
  // The service manager's STOP and SHUTDOWN stop serve as SIGTERM does.
  struct ServiceEnd {
    serve::ServiceControl* service;
    ~ServiceEnd() {
      if (service) service->Ending();
    }
  } service_end{service};
  if (service) service->Running([&io, &stop] { asio::post(io, stop); });
  signals.async_wait([&](const std::error_code& error, int) {
    if (error) return;
    stop();
    // A second signal does not wait for the changes still to be sent.
    signals.async_wait([&](const std::error_code& again, int) {
      if (again) return;
      log.Line("stopped at once");
      io.stop();
    });
  });
  io.run();
  return status;
}

}  // namespace
}  // namespace cli

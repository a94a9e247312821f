#include "cli/serve_command.h"

#include <asio/io_context.hpp>
#include <asio/signal_set.hpp>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <vector>

#include "appcore/single_instance.h"
#include "cli/field_options.h"
#include "cli/quote.h"
#include "cli/send_lines.h"
#include "serve/allow.h"
#include "serve/log.h"
#include "serve/network.h"
#include "serve/send_worker.h"
#include "serve/station.h"
#include "transfer/thread_priority.h"
#include "cli/usage_error.h"

namespace cli {
namespace {

constexpr const char* kServeHelp =
    "Usage: rdsq7-cli serve (--port PORT | --dry-run) [options]\n"
    "Keeps one station state, takes changes over the network or a serial line and sends\n"
    "them to the encoder; runs until stopped (SIGINT, SIGTERM, Ctrl+C).\n"
    "  --port PORT           the encoder's port, as for send\n"
    "  --dry-run             record the lines instead of driving a port\n"
    "  --listen ADDR:PORT    text command port over TCP (repeatable; port 0 picks one)\n"
    "  --uecp ADDR:PORT      UECP over TCP (repeatable)\n"
    "  --uecp-udp ADDR:PORT  UECP over UDP (repeatable)\n"
    "  --uecp-serial DEVICE  UECP over a serial line, 8N1\n"
    "  --uecp-baud N         its speed (9600)\n"
    "  --uecp-address SITE:ENCODER\n"
    "                        take only frames for this site (1-1023) and encoder (1-63);\n"
    "                        0 in a frame means all (default: take every frame)\n"
    "  --allow CIDR          peers that may connect (repeatable; default: loopback only)\n"
    "  --ta-timeout SECONDS  TA set to 1 falls back to 0 after this long (0: never)\n"
    "  --bytes FILE, --vcd FILE\n"
    "                        write each send's recorded lines, as for send\n"
    "  --high-priority       run sends at the best priority the system grants\n"
    "  -h, --help            show this text\n"
    "With --settings FILE every change and every send's record is saved to FILE.\n";

constexpr unsigned kDefaultBaud = 9600;

// Another instance of the program, the window or serve, owns the encoder.
class AlreadyRunningError : public std::runtime_error {
 public:
  AlreadyRunningError() : std::runtime_error("Instance of this application is already running.") {}
};

struct ServeOptions {
  SendTarget target;
  std::vector<asio::ip::tcp::endpoint> text, uecp, uecp_udp;
  std::optional<std::string> serial;
  unsigned baud = kDefaultBaud;
  std::optional<UecpAddress> address;
  AllowList allow;
  std::chrono::seconds ta_timeout{0};
};

unsigned Number(const std::string& option, const std::string& value, unsigned long highest) {
  if (value.empty() || value.size() > 9 ||
      value.find_first_not_of("0123456789") != std::string::npos || std::stoul(value) > highest) {
    throw UsageError("option " + option + ": expected a number from 0 to " +
                     std::to_string(highest) + ", got " + Quote(value));
  }
  return static_cast<unsigned>(std::stoul(value));
}

UecpAddress ParseUecpAddress(const std::string& value) {
  const auto colon = value.find(':');
  if (colon == std::string::npos) {
    throw UsageError("option --uecp-address: expected SITE:ENCODER, got " + Quote(value));
  }
  return {static_cast<std::uint16_t>(Number("--uecp-address", value.substr(0, colon), 1023)),
          static_cast<std::uint8_t>(Number("--uecp-address", value.substr(colon + 1), 63))};
}

}  // namespace

int ServeCommand(Arguments& args, std::ostream& out, std::ostream& err) {
  FieldOptions fields;
  ServeOptions options;
  while (!args.AtEnd()) {
    const std::string option = args.NextOption();
    if (fields.Parse(option, args) || options.target.Parse(option, args)) {
      continue;
    } else if (option == "--listen") {
      options.text.push_back(ParseEndpoint(option, args.Value()));
    } else if (option == "--uecp") {
      options.uecp.push_back(ParseEndpoint(option, args.Value()));
    } else if (option == "--uecp-udp") {
      options.uecp_udp.push_back(ParseEndpoint(option, args.Value()));
    } else if (option == "--uecp-serial") {
      options.serial = args.Value();
    } else if (option == "--uecp-baud") {
      options.baud = Number(option, args.Value(), 4000000);
    } else if (option == "--uecp-address") {
      options.address = ParseUecpAddress(args.Value());
    } else if (option == "--allow") {
      options.allow.Add(args.Value());
    } else if (option == "--ta-timeout") {
      options.ta_timeout = std::chrono::seconds(Number(option, args.Value(), 86400));
    } else if (option == "--help") {
      args.NoValue();
      out << kServeHelp << FieldOptions::Help();
      return 0;
    } else {
      throw UsageError("unknown option " + Quote(option) + " for serve");
    }
  }
  if (options.target.dry_run == options.target.port.has_value()) {
    throw UsageError("serve needs exactly one of --port PORT and --dry-run");
  }
  if (options.text.empty() && options.uecp.empty() && options.uecp_udp.empty() && !options.serial) {
    throw UsageError("serve needs --listen, --uecp, --uecp-udp or --uecp-serial");
  }

  // Tests that run beside a real instance take a name of their own.
  const char* instance_name = std::getenv("RDSQ7_INSTANCE_NAME");
  const app::SingleInstance instance(instance_name ? instance_name : app::kInstanceName);
  if (instance.AlreadyRunning()) throw AlreadyRunningError();

  asio::io_context io;
  ServeLog log(out);
  SendWorker worker(options.target);
  std::optional<std::filesystem::path> settings_path;
  if (fields.SettingsFile()) settings_path = PathArgument(*fields.SettingsFile());
  ServeStation station(io, fields.ApplyTo(app::SettingsValues{}),
                       {settings_path, options.ta_timeout}, worker, log);
  ServeNetwork network(io, station, log, options.allow, options.address);

  std::string opened;
  try {
    for (const auto& e : options.text) opened += ' ' + network.ListenTcp(Protocol::kText, e);
    for (const auto& e : options.uecp) opened += ' ' + network.ListenTcp(Protocol::kUecp, e);
    for (const auto& e : options.uecp_udp) {
      opened += ' ' + network.ListenUdp({e.address(), e.port()});
    }
    if (options.serial) opened += ' ' + network.OpenSerial(*options.serial, options.baud);
  } catch (const std::system_error& e) {
    throw std::runtime_error(std::string("can't open a port: ") + e.what());
  }
  log.Line("serve" + opened +
           (options.target.port ? " encoder=" + *options.target.port : " dry-run"));
  // Tried and given back here; each send takes it again on the sending thread.
  if (options.target.high_priority) {
    log.Line("high priority: " + transfer::RaisedThreadPriority().Description());
  }

  asio::signal_set signals(io, SIGINT, SIGTERM);
#if defined(SIGBREAK)
  signals.add(SIGBREAK);  // Windows: Ctrl+Break and closing the console window
#endif
  signals.async_wait([&](const std::error_code& error, int) {
    if (error) return;
    log.Line("stopping");
    network.Close();
    station.Stop([&] {
      log.Line("stopped");
      io.stop();
    });
  });
  io.run();
  (void)err;
  return 0;
}

}  // namespace cli

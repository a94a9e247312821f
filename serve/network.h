#pragma once

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <asio/ip/udp.hpp>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "serve/allow.h"
#include "serve/log.h"
#include "serve/station_control.h"
#include "serve/text_commands.h"
#include "serve/uecp_frame.h"

namespace serve {

// A line or frame must end this soon after its first byte, however slowly it comes.
constexpr std::chrono::seconds kLineDeadline{10};
// A refused peer is logged at most once in this time, with a count of the others.
constexpr std::chrono::minutes kRefusalLogInterval{1};

// Each TCP port's own limits: a full text port never locks UECP out.
struct ConnectionLimits {
  std::size_t max_connections = 16;
  // Closed when no line or frame has ended for this long (0: never). Bytes alone do not
  // count, so a client that drips one byte at a time cannot hold a place for ever.
  std::chrono::milliseconds idle_timeout = std::chrono::seconds{600};
  std::chrono::milliseconds line_deadline = kLineDeadline;  // 0: none
};
// A lost serial line is opened again this often until it is back.
constexpr std::chrono::seconds kSerialReopenDelay{2};
// True for a speed a serial line can be set to on every system (9600, 19200, ...).
bool IsStandardSerialSpeed(unsigned long baud);
// Answers a peer has not read yet; a peer that lets more pile up is cut off.
constexpr std::size_t kMaxQueuedOutput = 64 * 1024;

enum class Protocol { kText, kUecp };

// Where a handler's answers go, as bytes.
using Output = std::function<void(std::string bytes)>;
// Told each time a peer sends a command for something this encoder does not carry.
using NotCarriedNote = std::function<void(NotCarried what)>;

// Turns the bytes a peer sent into answers, given to its Output in the order of what they
// answer; a change is answered once it is saved, so some answers come later.
class StreamHandler {
 public:
  virtual ~StreamHandler() = default;
  // Returns how many lines or frames ended in bytes.
  virtual std::size_t Feed(std::span<const std::uint8_t> bytes) = 0;
  // True while a line or frame has begun and not ended.
  virtual bool Unfinished() const = 0;
  // True while answers to lines already fed have not been given yet.
  virtual bool AnswersWaiting() const { return false; }
};

std::unique_ptr<StreamHandler> MakeStreamHandler(Protocol protocol, StationControl& station,
                                                 const std::optional<UecpAddress>& ours, Output out,
                                                 NotCarriedNote note = nullptr);

// Refusals of peers, so that a host sending thousands of datagrams writes a few log lines:
// each peer's first refusal is logged, then at most one a kRefusalLogInterval.
class RefusalLog {
 public:
  // nullopt: do not log this one. Otherwise log it, with the number of refusals of this
  // peer not logged since its last line.
  std::optional<std::size_t> Refused(const std::string& peer,
                                     std::chrono::steady_clock::time_point now);

 private:
  struct Peer {
    std::chrono::steady_clock::time_point logged;
    std::size_t unlogged = 0;
  };
  std::unordered_map<std::string, Peer> peers_;
};

// Every port serve listens on, and the connections on them, on one Asio thread.
class ServeNetwork {
 public:
  ServeNetwork(asio::io_context& io, StationControl& station, ServeLog& log, AllowList allow,
               std::optional<UecpAddress> ours);
  ~ServeNetwork();

  // Each opens and starts one port and returns its name for the first log line, with the
  // port number chosen where 0 was asked for. Throws std::system_error.
  std::string ListenTcp(Protocol protocol, const asio::ip::tcp::endpoint& endpoint,
                        ConnectionLimits limits);
  // Text over UDP takes one command per datagram, or per line within one, and answers each
  // to the address it came from.
  std::string ListenUdp(Protocol protocol, const asio::ip::udp::endpoint& endpoint);
  // A serial line that cannot be opened, or is lost later (a USB adapter unplugged), is
  // logged and opened again every kSerialReopenDelay until it is back.
  std::string OpenSerial(Protocol protocol, const std::string& device, unsigned baud);

  // Closes every port and connection.
  void Close();

  class Connection;
  void Forget(Connection* connection);
  ServeLog& Log() { return log_; }
  // Logs a refused peer (what: "text peer 10.0.0.9:5120") within the RefusalLog's limits.
  void LogRefusal(const asio::ip::address& address, const std::string& what,
                  const std::string& why);
  // Logs, once per peer and kind, that it sent what this encoder does not carry.
  NotCarriedNote NoteFor(const std::string& peer);

 private:
  class Listener;
  class UdpPort;
  class SerialLine;

  asio::io_context& io_;
  StationControl& station_;
  ServeLog& log_;
  AllowList allow_;
  std::optional<UecpAddress> ours_;
  std::vector<std::shared_ptr<Listener>> listeners_;
  std::vector<std::shared_ptr<UdpPort>> udp_ports_;
  std::vector<std::shared_ptr<SerialLine>> serial_;
  std::unordered_map<Connection*, std::weak_ptr<Connection>> connections_;
  RefusalLog refusals_;
  std::unordered_set<std::string> not_carried_told_;
};

}  // namespace serve

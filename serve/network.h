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
#include <unordered_map>
#include <vector>

#include "serve/allow.h"
#include "serve/log.h"
#include "serve/station_control.h"
#include "serve/uecp_frame.h"

namespace serve {

// Each TCP port's own limits: a full text port never locks UECP out.
struct ConnectionLimits {
  std::size_t max_connections = 16;
  std::chrono::seconds idle_timeout{600};  // 0: never closed for idling
};
// A lost serial line is opened again this often until it is back.
constexpr std::chrono::seconds kSerialReopenDelay{2};
// Answers a peer has not read yet; a peer that lets more pile up is cut off.
constexpr std::size_t kMaxQueuedOutput = 64 * 1024;

enum class Protocol { kText, kUecp };

// Turns the bytes a peer sent into the bytes of the answers.
class StreamHandler {
 public:
  virtual ~StreamHandler() = default;
  virtual std::string Feed(std::span<const std::uint8_t> bytes) = 0;
};

std::unique_ptr<StreamHandler> MakeStreamHandler(Protocol protocol, StationControl& station,
                                                 const std::optional<UecpAddress>& ours);

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
  std::string ListenUdp(const asio::ip::udp::endpoint& endpoint);
  // A serial line that cannot be opened, or is lost later (a USB adapter unplugged), is
  // logged and opened again every kSerialReopenDelay until it is back.
  std::string OpenSerial(const std::string& device, unsigned baud);

  // Closes every port and connection.
  void Close();

  class Connection;
  void Forget(Connection* connection);
  ServeLog& Log() { return log_; }

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
};

}  // namespace serve

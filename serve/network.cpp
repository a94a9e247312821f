#include "serve/network.h"

#include <array>
#include <asio/serial_port.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <deque>

#include "serve/text_commands.h"
#include "serve/uecp_messages.h"

namespace serve {
namespace {

constexpr std::size_t kReadChunk = 1024;
// A UECP frame is at most 263 bytes before stuffing and twice that after; a datagram
// that does not fit is no frame.
constexpr std::size_t kMaxDatagram = 2048;
// Answers on their way to UDP peers; more are dropped.
constexpr std::size_t kMaxUdpSends = 16;

class TextHandler final : public StreamHandler {
 public:
  explicit TextHandler(StationControl& station) : station_(station) {}

  std::string Feed(std::span<const std::uint8_t> bytes) override {
    std::string out;
    reader_.Feed(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                 [&](std::string_view line, bool overlong) {
                   out +=
                       overlong ? "NO line longer than 255 bytes" : RunTextCommand(line, station_);
                   out += '\n';
                 });
    return out;
  }

 private:
  StationControl& station_;
  TextLineReader reader_;
};

class UecpHandler final : public StreamHandler {
 public:
  UecpHandler(StationControl& station, std::optional<UecpAddress> ours)
      : station_(station), ours_(ours) {}

  std::string Feed(std::span<const std::uint8_t> bytes) override {
    std::string out;
    reader_.Feed(bytes, [&](const UecpFrameResult& frame) {
      if (!UecpAddressedTo(frame.address, ours_)) return;
      // An acknowledgement is never answered, nor carried out: two devices on a shared
      // line would otherwise answer each other for ever.
      if (!frame.message.empty() && frame.message[0] == kUecpAcknowledgement) return;
      UecpResponse response = frame.response;
      if (response == UecpResponse::kOk) response = ApplyUecpMessage(frame.message, station_);
      if (frame.address == kUecpBroadcast) return;  // every encoder hears it; none answers
      const std::uint8_t sequence = frame.sequence.value_or(0);
      const std::uint16_t address =
          ours_ ? static_cast<std::uint16_t>(ours_->site << 6 | ours_->encoder) : frame.address;
      const std::vector<std::uint8_t> reply =
          EncodeUecpFrame(address, sequence, UecpAcknowledgement(response, sequence));
      out.append(reply.begin(), reply.end());
    });
    return out;
  }

 private:
  StationControl& station_;
  std::optional<UecpAddress> ours_;
  UecpFrameReader reader_;
};

}  // namespace

std::unique_ptr<StreamHandler> MakeStreamHandler(Protocol protocol, StationControl& station,
                                                 const std::optional<UecpAddress>& ours) {
  if (protocol == Protocol::kText) return std::make_unique<TextHandler>(station);
  return std::make_unique<UecpHandler>(station, ours);
}

class ServeNetwork::Connection : public std::enable_shared_from_this<Connection> {
 public:
  virtual ~Connection() = default;
  virtual void Start() = 0;
  virtual void Close() = 0;
};

namespace {

// Told once when a connection ends: the error that ended it, none when serve closed it.
using Closed = std::function<void(const std::error_code&)>;

// One peer on a byte stream: a TCP connection or the serial line.
template <typename Stream>
class StreamConnection final : public ServeNetwork::Connection {
 public:
  StreamConnection(Stream stream, std::unique_ptr<StreamHandler> handler, ServeNetwork& owner,
                   std::string name, std::chrono::seconds idle_timeout, Closed closed)
      : stream_(std::move(stream)),
        handler_(std::move(handler)),
        owner_(owner),
        name_(std::move(name)),
        idle_(stream_.get_executor()),
        idle_timeout_(idle_timeout),
        closed_by_(std::move(closed)) {}

  void Start() override {
    ArmIdle();
    Read();
  }

  void Close() override { End({}); }

 private:
  void End(const std::error_code& why) {
    if (closed_) return;
    closed_ = true;
    std::error_code ignored;
    stream_.close(ignored);
    idle_.cancel();
    owner_.Forget(this);
    if (closed_by_) std::exchange(closed_by_, nullptr)(why);
  }

  std::shared_ptr<StreamConnection> Self() {
    return std::static_pointer_cast<StreamConnection>(shared_from_this());
  }

  void ArmIdle() {
    if (idle_timeout_.count() == 0) return;
    idle_.expires_after(idle_timeout_);
    idle_.async_wait([self = Self()](const std::error_code& error) {
      if (error || self->closed_) return;
      self->owner_.Log().Line("closed " + self->name_ + ": idle for " +
                              std::to_string(self->idle_timeout_.count()) + " s");
      self->Close();
    });
  }

  void Read() {
    stream_.async_read_some(
        asio::buffer(buffer_), [self = Self()](const std::error_code& error, std::size_t size) {
          if (self->closed_) return;
          if (error) {
            self->End(error);
            return;
          }
          self->ArmIdle();
          self->Write(self->handler_->Feed(std::span(self->buffer_).first(size)));
          if (!self->closed_) self->Read();
        });
  }

  void Write(std::string bytes) {
    if (bytes.empty()) return;
    queued_ += bytes.size();
    if (queued_ > kMaxQueuedOutput) {
      owner_.Log().Line("closed " + name_ + ": it does not read its answers");
      Close();
      return;
    }
    queue_.push_back(std::move(bytes));
    if (queue_.size() == 1) WriteFront();
  }

  void WriteFront() {
    asio::async_write(stream_, asio::buffer(queue_.front()),
                      [self = Self()](const std::error_code& error, std::size_t) {
                        if (self->closed_) return;
                        if (error) {
                          self->End(error);
                          return;
                        }
                        self->queued_ -= self->queue_.front().size();
                        self->queue_.pop_front();
                        if (!self->queue_.empty()) self->WriteFront();
                      });
  }

  Stream stream_;
  std::unique_ptr<StreamHandler> handler_;
  ServeNetwork& owner_;
  std::string name_;
  asio::steady_timer idle_;
  std::chrono::seconds idle_timeout_;
  Closed closed_by_;
  bool closed_ = false;
  std::array<std::uint8_t, kReadChunk> buffer_{};
  std::deque<std::string> queue_;
  std::size_t queued_ = 0;
};

const char* ProtocolName(Protocol protocol) {
  return protocol == Protocol::kText ? "text" : "uecp";
}

}  // namespace

class ServeNetwork::Listener : public std::enable_shared_from_this<Listener> {
 public:
  Listener(ServeNetwork& owner, Protocol protocol, const asio::ip::tcp::endpoint& endpoint,
           ConnectionLimits limits)
      : owner_(owner), protocol_(protocol), limits_(limits), acceptor_(owner.io_, endpoint) {}

  asio::ip::tcp::endpoint Endpoint() const { return acceptor_.local_endpoint(); }

  void Accept() {
    acceptor_.async_accept(
        [self = shared_from_this()](const std::error_code& error, asio::ip::tcp::socket socket) {
          if (!self->acceptor_.is_open()) return;
          if (!error) self->Accepted(std::move(socket));
          self->Accept();
        });
  }

  void Close() {
    std::error_code ignored;
    acceptor_.close(ignored);
  }

 private:
  void Accepted(asio::ip::tcp::socket socket) {
    std::error_code error;
    const auto peer = socket.remote_endpoint(error);
    if (error) return;
    const std::string name =
        std::string(ProtocolName(protocol_)) + " peer " + EndpointText(peer.address(), peer.port());
    if (!owner_.allow_.Allows(peer.address())) {
      owner_.log_.Line("refused " + name + ": not allowed");
      return;  // the socket closes as it goes out of scope
    }
    if (open_ >= limits_.max_connections) {
      owner_.log_.Line("refused " + name + ": " + std::to_string(open_) +
                       " connections open on this port");
      return;
    }
    ++open_;
    auto connection = std::make_shared<StreamConnection<asio::ip::tcp::socket>>(
        std::move(socket), MakeStreamHandler(protocol_, owner_.station_, owner_.ours_), owner_,
        name, limits_.idle_timeout,
        [self = shared_from_this()](const std::error_code&) { --self->open_; });
    owner_.connections_[connection.get()] = connection;
    owner_.log_.Line("connected " + name);
    connection->Start();
  }

  ServeNetwork& owner_;
  Protocol protocol_;
  ConnectionLimits limits_;
  std::size_t open_ = 0;
  asio::ip::tcp::acceptor acceptor_;
};

// The UECP serial line, opened again whenever it is lost.
class ServeNetwork::SerialLine : public std::enable_shared_from_this<SerialLine> {
 public:
  SerialLine(ServeNetwork& owner, std::string device, unsigned baud)
      : owner_(owner), device_(std::move(device)), baud_(baud), retry_(owner.io_) {}

  void Open() {
    if (closed_) return;
    asio::serial_port port(owner_.io_);
    try {
      port.open(device_);
      port.set_option(asio::serial_port::baud_rate(baud_));
      port.set_option(asio::serial_port::character_size(8));
      port.set_option(asio::serial_port::parity(asio::serial_port::parity::none));
      port.set_option(asio::serial_port::stop_bits(asio::serial_port::stop_bits::one));
      port.set_option(asio::serial_port::flow_control(asio::serial_port::flow_control::none));
    } catch (const std::system_error& e) {
      if (!failing_) {
        owner_.log_.Line("can't open uecp-serial " + device_ + ": " + e.code().message() +
                         "; trying again every " + std::to_string(kSerialReopenDelay.count()) +
                         " s");
      }
      failing_ = true;
      Retry();
      return;
    }
    if (failing_) owner_.log_.Line("uecp-serial " + device_ + " open again");
    failing_ = false;
    auto connection = std::make_shared<StreamConnection<asio::serial_port>>(
        std::move(port), MakeStreamHandler(Protocol::kUecp, owner_.station_, owner_.ours_), owner_,
        "uecp-serial " + device_, std::chrono::seconds{0},
        [self = shared_from_this()](const std::error_code& error) {
          if (!error || self->closed_) return;
          self->owner_.log_.Line("lost uecp-serial " + self->device_ + ": " + error.message() +
                                 "; opening it again every " +
                                 std::to_string(kSerialReopenDelay.count()) + " s");
          self->failing_ = true;
          self->Retry();
        });
    owner_.connections_[connection.get()] = connection;
    connection->Start();
  }

  void Close() {
    closed_ = true;
    retry_.cancel();
  }

 private:
  void Retry() {
    retry_.expires_after(kSerialReopenDelay);
    retry_.async_wait([self = shared_from_this()](const std::error_code& error) {
      if (!error) self->Open();
    });
  }

  ServeNetwork& owner_;
  std::string device_;
  unsigned baud_;
  asio::steady_timer retry_;
  bool failing_ = false;
  bool closed_ = false;
};

class ServeNetwork::UdpPort : public std::enable_shared_from_this<UdpPort> {
 public:
  UdpPort(ServeNetwork& owner, const asio::ip::udp::endpoint& endpoint)
      : owner_(owner), socket_(owner.io_, endpoint) {}

  asio::ip::udp::endpoint Endpoint() const { return socket_.local_endpoint(); }

  void Receive() {
    socket_.async_receive_from(
        asio::buffer(buffer_), peer_,
        [self = shared_from_this()](const std::error_code& error, std::size_t size) {
          if (!self->socket_.is_open()) return;
          if (!error) self->Datagram(size);
          self->Receive();  // a datagram too long or an ICMP report ends no service
        });
  }

  void Close() {
    std::error_code ignored;
    socket_.close(ignored);
  }

 private:
  void Datagram(std::size_t size) {
    if (!owner_.allow_.Allows(peer_.address())) {
      owner_.log_.Line("refused uecp-udp datagram from " +
                       EndpointText(peer_.address(), peer_.port()) + ": not allowed");
      return;
    }
    // Each datagram stands alone: a frame cut off at its end is not continued by the next.
    UecpHandler handler(owner_.station_, owner_.ours_);
    std::string reply = handler.Feed(std::span(buffer_).first(size));
    if (reply.empty() || sends_ >= kMaxUdpSends) return;
    ++sends_;
    auto bytes = std::make_shared<std::string>(std::move(reply));
    socket_.async_send_to(asio::buffer(*bytes), peer_,
                          [self = shared_from_this(), bytes](const std::error_code&, std::size_t) {
                            --self->sends_;
                          });
  }

  ServeNetwork& owner_;
  asio::ip::udp::socket socket_;
  asio::ip::udp::endpoint peer_;
  std::array<std::uint8_t, kMaxDatagram> buffer_{};
  std::size_t sends_ = 0;
};

ServeNetwork::ServeNetwork(asio::io_context& io, StationControl& station, ServeLog& log,
                           AllowList allow, std::optional<UecpAddress> ours)
    : io_(io), station_(station), log_(log), allow_(std::move(allow)), ours_(ours) {}

ServeNetwork::~ServeNetwork() {
  Close();
}

std::string ServeNetwork::ListenTcp(Protocol protocol, const asio::ip::tcp::endpoint& endpoint,
                                    ConnectionLimits limits) {
  auto listener = std::make_shared<Listener>(*this, protocol, endpoint, limits);
  listener->Accept();
  listeners_.push_back(listener);
  const auto bound = listener->Endpoint();
  return std::string(ProtocolName(protocol)) + "=" + EndpointText(bound.address(), bound.port());
}

std::string ServeNetwork::ListenUdp(const asio::ip::udp::endpoint& endpoint) {
  auto port = std::make_shared<UdpPort>(*this, endpoint);
  port->Receive();
  udp_ports_.push_back(port);
  const auto bound = port->Endpoint();
  return "uecp-udp=" + EndpointText(bound.address(), bound.port());
}

std::string ServeNetwork::OpenSerial(const std::string& device, unsigned baud) {
  auto line = std::make_shared<SerialLine>(*this, device, baud);
  serial_.push_back(line);
  line->Open();
  return "uecp-serial=" + device + "@" + std::to_string(baud);
}

void ServeNetwork::Forget(Connection* connection) {
  connections_.erase(connection);
}

void ServeNetwork::Close() {
  for (const auto& listener : listeners_) listener->Close();
  for (const auto& port : udp_ports_) port->Close();
  for (const auto& line : serial_) line->Close();
  auto open = connections_;
  for (auto& [pointer, weak] : open) {
    if (auto connection = weak.lock()) connection->Close();
  }
}

}  // namespace serve

#include "serve/network.h"

#include <algorithm>
#include <array>
#include <asio/serial_port.hpp>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <deque>
#include <map>
#include <type_traits>

#include "serve/text_commands.h"
#include "serve/uecp_messages.h"

namespace serve {
namespace {

constexpr std::size_t kReadChunk = 1024;
// The most a UDP datagram can carry: every datagram is read whole, so that no line or frame
// is ever cut short at the end of the buffer.
constexpr std::size_t kMaxDatagram = 65536;
// Answers on their way to UDP peers; more are dropped.
constexpr std::size_t kMaxUdpSends = 256;
// UDP text peers whose answers are kept in order; beyond this, those with no answer waiting
// are forgotten.
constexpr std::size_t kMaxUdpPeers = 256;

// Answers in the order of their lines, though a change's answer waits for its save.
class OrderedAnswers {
 public:
  explicit OrderedAnswers(Output out) : out_(std::move(out)) {}

  std::uint64_t Add() {
    slots_.emplace_back();
    return first_ + slots_.size() - 1;
  }

  void Fill(std::uint64_t slot, std::string answer) {
    slots_[slot - first_] = std::move(answer) + '\n';
    // One at a time: each goes out on its own (a datagram each over UDP).
    while (!slots_.empty() && slots_.front()) {
      std::string ready = std::move(*slots_.front());
      slots_.pop_front();
      ++first_;
      out_(std::move(ready));
    }
  }

  bool Waiting() const { return !slots_.empty(); }

 private:
  Output out_;
  std::deque<std::optional<std::string>> slots_;
  std::uint64_t first_ = 0;  // the number of slots_.front()
};

class TextHandler final : public StreamHandler {
 public:
  TextHandler(StationControl& station, Output out, NotCarriedNote note)
      : station_(station),
        answers_(std::make_shared<OrderedAnswers>(std::move(out))),
        note_(std::move(note)) {}

  std::size_t Feed(std::span<const std::uint8_t> bytes) override {
    std::size_t lines = 0;
    reader_.Feed(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                 [&](std::string_view line, bool overlong) {
                   ++lines;
                   const std::uint64_t slot = answers_->Add();
                   if (overlong) {
                     answers_->Fill(slot, "NO line longer than 255 bytes");
                     return;
                   }
                   const NotCarried what = NotCarriedCommand(line);
                   if (what != NotCarried::kNone && note_) note_(what);
                   RunTextCommand(line, station_, [answers = answers_, slot](std::string answer) {
                     answers->Fill(slot, std::move(answer));
                   });
                 });
    return lines;
  }

  bool Unfinished() const override { return reader_.Unfinished(); }
  bool AnswersWaiting() const override { return answers_->Waiting(); }

 private:
  StationControl& station_;
  TextLineReader reader_;
  std::shared_ptr<OrderedAnswers> answers_;
  NotCarriedNote note_;
};

class UecpHandler final : public StreamHandler {
 public:
  UecpHandler(StationControl& station, std::optional<UecpAddress> ours, Output out)
      : station_(station), ours_(ours), out_(std::move(out)) {}

  std::size_t Feed(std::span<const std::uint8_t> bytes) override {
    std::size_t frames = 0;
    reader_.Feed(bytes, [&](const UecpFrameResult& frame) {
      ++frames;
      if (!UecpAddressedTo(frame.address, ours_)) return;
      // An acknowledgement is never answered, nor carried out: two devices on a shared
      // line would otherwise answer each other for ever.
      if (!frame.message.empty() && frame.message[0] == kUecpAcknowledgement) return;
      UecpResponse response = frame.response;
      if (response == UecpResponse::kOk) response = ApplyUecpMessage(frame.message, station_);
      // A frame for a group (site or encoder 0) reaches other encoders too: none answers it.
      if (UecpForGroup(frame.address)) return;
      const std::uint8_t sequence = frame.sequence.value_or(0);
      const std::uint16_t address =
          ours_ ? static_cast<std::uint16_t>(ours_->site << 6 | ours_->encoder) : frame.address;
      const std::vector<std::uint8_t> reply =
          EncodeUecpFrame(address, sequence, UecpAcknowledgement(response, sequence));
      out_(std::string(reply.begin(), reply.end()));
    });
    return frames;
  }

  bool Unfinished() const override { return reader_.InFrame(); }

 private:
  StationControl& station_;
  std::optional<UecpAddress> ours_;
  Output out_;
  UecpFrameReader reader_;
};

// The speeds of the POSIX terminal interface and Linux's own, which Asio sets by name; on
// Windows each is handed to the driver as it is.
constexpr std::array<unsigned long, 28> kStandardSpeeds = {
    50,     75,     110,     134,     150,     200,     300,     600,    1200,   1800,
    2400,   4800,   9600,    19200,   38400,   57600,   115200,  230400, 460800, 500000,
    576000, 921600, 1000000, 1152000, 2000000, 3000000, 3500000, 4000000};

std::string DurationText(std::chrono::milliseconds duration) {
  if (duration.count() % 1000 == 0) return std::to_string(duration.count() / 1000) + " s";
  return std::to_string(duration.count()) + " ms";
}

}  // namespace

std::unique_ptr<StreamHandler> MakeStreamHandler(Protocol protocol, StationControl& station,
                                                 const std::optional<UecpAddress>& ours, Output out,
                                                 NotCarriedNote note) {
  if (protocol == Protocol::kText) {
    return std::make_unique<TextHandler>(station, std::move(out), std::move(note));
  }
  return std::make_unique<UecpHandler>(station, ours, std::move(out));
}

bool IsStandardSerialSpeed(unsigned long baud) {
  return std::find(kStandardSpeeds.begin(), kStandardSpeeds.end(), baud) != kStandardSpeeds.end();
}

std::optional<std::size_t> RefusalLog::Refused(const std::string& peer,
                                               std::chrono::steady_clock::time_point now) {
  // Many peers (a scan, forged sources) forget those logged long enough ago.
  constexpr std::size_t kMaxPeers = 4096;
  if (peers_.size() >= kMaxPeers && !peers_.contains(peer)) {
    std::erase_if(peers_,
                  [&](const auto& p) { return now - p.second.logged >= kRefusalLogInterval; });
    if (peers_.size() >= kMaxPeers) peers_.clear();
  }
  const auto [it, first] = peers_.try_emplace(peer, Peer{now, 0});
  if (first) return 0;
  if (now - it->second.logged < kRefusalLogInterval) {
    ++it->second.unlogged;
    return std::nullopt;
  }
  it->second.logged = now;
  return std::exchange(it->second.unlogged, 0);
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

// Makes a connection's handler, given where its answers go.
using HandlerMaker = std::function<std::unique_ptr<StreamHandler>(Output out)>;

// One peer on a byte stream: a TCP connection or the serial line.
template <typename Stream>
class StreamConnection final : public ServeNetwork::Connection {
 public:
  StreamConnection(Stream stream, HandlerMaker make, ServeNetwork& owner, std::string name,
                   ConnectionLimits limits, Closed closed)
      : stream_(std::move(stream)),
        make_(std::move(make)),
        owner_(owner),
        name_(std::move(name)),
        idle_(stream_.get_executor()),
        deadline_(stream_.get_executor()),
        limits_(limits),
        closed_by_(std::move(closed)) {}

  void Start() override {
    handler_ = make_([weak = std::weak_ptr(Self())](std::string bytes) {
      if (const auto self = weak.lock()) self->Write(std::move(bytes));
    });
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
    deadline_.cancel();
    owner_.Forget(this);
    if (closed_by_) std::exchange(closed_by_, nullptr)(why);
  }

  std::shared_ptr<StreamConnection> Self() {
    return std::static_pointer_cast<StreamConnection>(shared_from_this());
  }

  void ArmIdle() {
    if (limits_.idle_timeout.count() == 0) return;
    idle_.expires_after(limits_.idle_timeout);
    idle_.async_wait([self = Self()](const std::error_code& error) {
      if (error || self->closed_) return;
      self->owner_.Log().Line("closed " + self->name_ + ": nothing complete for " +
                              DurationText(self->limits_.idle_timeout));
      self->Close();
    });
  }

  // From the first byte of a line or frame until its end.
  void FollowDeadline(bool ended_some) {
    if (limits_.line_deadline.count() == 0) return;
    if (ended_some || !handler_->Unfinished()) {
      if (deadline_armed_) deadline_.cancel();
      deadline_armed_ = false;
    }
    if (deadline_armed_ || !handler_->Unfinished()) return;
    deadline_armed_ = true;
    deadline_.expires_after(limits_.line_deadline);
    deadline_.async_wait([self = Self()](const std::error_code& error) {
      if (error || self->closed_) return;
      self->owner_.Log().Line("closed " + self->name_ + ": a line unfinished " +
                              DurationText(self->limits_.line_deadline) + " after its first byte");
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
          const std::size_t ended = self->handler_->Feed(std::span(self->buffer_).first(size));
          if (self->closed_) return;
          if (ended > 0) self->ArmIdle();
          self->FollowDeadline(ended > 0);
          self->Read();
        });
  }

  void Write(std::string bytes) {
    if (bytes.empty() || closed_) return;
    if (queued_ + bytes.size() > kMaxQueuedOutput) {
      // A TCP peer may connect again. A serial line is the only way to its far end: what
      // it has no room for is dropped, whole answers at a time, and the line served on.
      if constexpr (std::is_same_v<Stream, asio::serial_port>) {
        if (!dropping_) {
          owner_.Log().Line(name_ + ": it does not read its answers; dropping those it has " +
                            "no room for");
        }
        dropping_ = true;
        return;
      }
      owner_.Log().Line("closed " + name_ + ": it does not read its answers");
      Close();
      return;
    }
    queued_ += bytes.size();
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
                        if (self->queue_.empty()) self->dropping_ = false;  // it reads again
                        if (!self->queue_.empty()) self->WriteFront();
                      });
  }

  Stream stream_;
  HandlerMaker make_;
  std::unique_ptr<StreamHandler> handler_;
  ServeNetwork& owner_;
  std::string name_;
  asio::steady_timer idle_;
  asio::steady_timer deadline_;
  bool deadline_armed_ = false;
  ConnectionLimits limits_;
  Closed closed_by_;
  bool closed_ = false;
  std::array<std::uint8_t, kReadChunk> buffer_{};
  std::deque<std::string> queue_;
  std::size_t queued_ = 0;
  bool dropping_ = false;  // answers dropped since the queue was last empty
};

// A port that serve left a moment ago is taken again at once. On Windows the same option
// would let a second program take a port that is in use, so it is not set there.
#if defined(_WIN32)
constexpr bool kReuseAddress = false;
#else
constexpr bool kReuseAddress = true;
#endif

const char* ProtocolName(Protocol protocol) {
  return protocol == Protocol::kText ? "text" : "uecp";
}

}  // namespace

class ServeNetwork::Listener : public std::enable_shared_from_this<Listener> {
 public:
  Listener(ServeNetwork& owner, Protocol protocol, const asio::ip::tcp::endpoint& endpoint,
           ConnectionLimits limits)
      : owner_(owner),
        protocol_(protocol),
        limits_(limits),
        acceptor_(owner.io_, endpoint, kReuseAddress) {}

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
      owner_.LogRefusal(peer.address(), name, "not allowed");
      return;  // the socket closes as it goes out of scope
    }
    if (open_ >= limits_.max_connections) {
      owner_.LogRefusal(peer.address(), name,
                        std::to_string(open_) + " connections open on this port");
      return;
    }
    ++open_;
    auto& owner = owner_;
    const Protocol protocol = protocol_;
    auto connection = std::make_shared<StreamConnection<asio::ip::tcp::socket>>(
        std::move(socket),
        [&owner, protocol,
         note = owner_.NoteFor(ProtocolName(protocol_) + (" peer " + peer.address().to_string()))](
            Output out) {
          return MakeStreamHandler(protocol, owner.station_, owner.ours_, std::move(out), note);
        },
        owner_, name, limits_,
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

// A serial line, opened again whenever it is lost.
class ServeNetwork::SerialLine : public std::enable_shared_from_this<SerialLine> {
 public:
  SerialLine(ServeNetwork& owner, Protocol protocol, std::string device, unsigned baud)
      : owner_(owner),
        protocol_(protocol),
        name_(std::string(ProtocolName(protocol)) + "-serial " + device),
        device_(std::move(device)),
        baud_(baud),
        retry_(owner.io_) {}

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
        owner_.log_.Line("can't open " + name_ + ": " + e.code().message() +
                         "; trying again every " + std::to_string(kSerialReopenDelay.count()) +
                         " s");
      }
      failing_ = true;
      Retry();
      return;
    }
    if (failing_) owner_.log_.Line(name_ + " open again");
    failing_ = false;
    auto& owner = owner_;
    const Protocol protocol = protocol_;
    // A line has no peer to leave or come back: it is never closed for idling, and a line
    // cut short by noise ends at the next line break.
    auto connection = std::make_shared<StreamConnection<asio::serial_port>>(
        std::move(port),
        [&owner, protocol, note = owner_.NoteFor(name_)](Output out) {
          return MakeStreamHandler(protocol, owner.station_, owner.ours_, std::move(out), note);
        },
        owner_, name_,
        ConnectionLimits{0, std::chrono::milliseconds{0}, std::chrono::milliseconds{0}},
        [self = shared_from_this()](const std::error_code& error) {
          if (self->closed_) return;  // serve is stopping; any other end is a lost line
          self->owner_.log_.Line(
              "lost " + self->name_ + ": " + (error ? error.message() : std::string("closed")) +
              "; opening it again every " + std::to_string(kSerialReopenDelay.count()) + " s");
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
  Protocol protocol_;
  std::string name_;
  std::string device_;
  unsigned baud_;
  asio::steady_timer retry_;
  bool failing_ = false;
  bool closed_ = false;
};

class ServeNetwork::UdpPort : public std::enable_shared_from_this<UdpPort> {
 public:
  UdpPort(ServeNetwork& owner, Protocol protocol, const asio::ip::udp::endpoint& endpoint)
      : owner_(owner), protocol_(protocol), socket_(owner.io_, endpoint) {}

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
    const std::string peer = std::string(ProtocolName(protocol_)) + "-udp peer ";
    if (!owner_.allow_.Allows(peer_.address())) {
      owner_.LogRefusal(peer_.address(), peer + EndpointText(peer_.address(), peer_.port()),
                        "not allowed");
      return;
    }
    // Each datagram stands alone: a frame or line cut off at its end is not continued by
    // the next. A text command needs no line break of its own. A text change is answered
    // once saved: each peer keeps its handler while answers wait, so that they come in the
    // order of its commands across datagrams, as on TCP.
    const auto known = peers_.find(peer_);
    StreamHandler* handler = known != peers_.end() ? known->second.get() : nullptr;
    std::unique_ptr<StreamHandler> made;
    if (!handler) {
      made = MakeStreamHandler(
          protocol_, owner_.station_, owner_.ours_,
          [weak = weak_from_this(), to = peer_](std::string bytes) {
            if (const auto self = weak.lock()) self->SendTo(to, std::move(bytes));
          },
          owner_.NoteFor(peer + peer_.address().to_string()));
      handler = made.get();
      if (protocol_ == Protocol::kText && peers_.size() >= kMaxUdpPeers) {
        std::erase_if(peers_, [](const auto& p) { return !p.second->AnswersWaiting(); });
      }
      if (protocol_ == Protocol::kText && peers_.size() < kMaxUdpPeers) {
        peers_.emplace(peer_, std::move(made));
      }
    }
    handler->Feed(std::span(buffer_).first(size));
    if (protocol_ == Protocol::kText && handler->Unfinished()) {
      constexpr std::array<std::uint8_t, 1> kEnd = {'\n'};
      handler->Feed(kEnd);
    }
  }

  void SendTo(const asio::ip::udp::endpoint& to, std::string reply) {
    if (reply.empty() || sends_ >= kMaxUdpSends || !socket_.is_open()) return;
    ++sends_;
    auto bytes = std::make_shared<std::string>(std::move(reply));
    socket_.async_send_to(asio::buffer(*bytes), to,
                          [self = shared_from_this(), bytes](const std::error_code&, std::size_t) {
                            --self->sends_;
                          });
  }

  ServeNetwork& owner_;
  Protocol protocol_;
  asio::ip::udp::socket socket_;
  asio::ip::udp::endpoint peer_;
  std::array<std::uint8_t, kMaxDatagram> buffer_{};
  std::size_t sends_ = 0;
  std::map<asio::ip::udp::endpoint, std::unique_ptr<StreamHandler>> peers_;
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

std::string ServeNetwork::ListenUdp(Protocol protocol, const asio::ip::udp::endpoint& endpoint) {
  auto port = std::make_shared<UdpPort>(*this, protocol, endpoint);
  port->Receive();
  udp_ports_.push_back(port);
  const auto bound = port->Endpoint();
  return std::string(ProtocolName(protocol)) +
         "-udp=" + EndpointText(bound.address(), bound.port());
}

std::string ServeNetwork::OpenSerial(Protocol protocol, const std::string& device, unsigned baud) {
  auto line = std::make_shared<SerialLine>(*this, protocol, device, baud);
  serial_.push_back(line);
  line->Open();
  return std::string(ProtocolName(protocol)) + "-serial=" + device + "@" + std::to_string(baud);
}

void ServeNetwork::LogRefusal(const asio::ip::address& address, const std::string& what,
                              const std::string& why) {
  const auto unlogged = refusals_.Refused(address.to_string(), std::chrono::steady_clock::now());
  if (!unlogged) return;
  std::string line = "refused " + what + ": " + why;
  if (*unlogged > 0) {
    line += " (and " + std::to_string(*unlogged) + " more from " + address.to_string() +
            " since its last line)";
  }
  log_.Line(line);
}

NotCarriedNote ServeNetwork::NoteFor(const std::string& peer) {
  return [this, peer](NotCarried what) {
    // Remembered per peer and kind; a flood of forged peers only makes it forget.
    constexpr std::size_t kMaxTold = 4096;
    const char* kind = what == NotCarried::kRadioText ? "RadioText" : "dynamic PS";
    if (not_carried_told_.size() >= kMaxTold) not_carried_told_.clear();
    if (!not_carried_told_.insert(peer + '\n' + kind).second) return;
    log_.Line(peer + " sent " + kind + ": this encoder carries none, answered NO (logged once " +
              "per peer)");
  };
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

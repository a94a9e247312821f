#include "serve/http_listener.h"

#include <array>
#include <asio/steady_timer.hpp>
#include <asio/write.hpp>
#include <unordered_map>

namespace serve {
namespace {

constexpr std::string_view kHeadEnd = "\r\n\r\n";
constexpr std::size_t kReadChunk = 2048;
// The one answer that is not the site's: to a head that does not end within the limit.
constexpr std::string_view kTooLarge =
    "HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Type: text/plain\r\n"
    "Content-Length: 24\r\nConnection: close\r\n\r\nrequest head over 8 KiB\n";

}  // namespace

struct HttpListener::Shared : std::enable_shared_from_this<Shared> {
  Shared(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint, AllowList allow_list,
         HttpLimits http_limits, Answer answer_with, Refused refused_with)
      : acceptor(io, endpoint),
        allow(std::move(allow_list)),
        limits(http_limits),
        answer(std::move(answer_with)),
        refused(std::move(refused_with)) {}

  void Accept();

  asio::ip::tcp::acceptor acceptor;
  AllowList allow;
  HttpLimits limits;
  Answer answer;
  Refused refused;
  std::size_t open = 0;
  std::unordered_map<Connection*, std::weak_ptr<Connection>> connections;
};

class HttpListener::Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(asio::ip::tcp::socket socket, std::shared_ptr<Shared> shared)
      : socket_(std::move(socket)), deadline_(socket_.get_executor()), shared_(std::move(shared)) {}

  void Start() {
    deadline_.expires_after(shared_->limits.deadline);
    deadline_.async_wait([self = shared_from_this()](const std::error_code& error) {
      if (!error) self->Close();
    });
    Read();
  }

  void Close() {
    if (closed_) return;
    closed_ = true;
    std::error_code ignored;
    socket_.close(ignored);
    deadline_.cancel();
    --shared_->open;
    shared_->connections.erase(this);
  }

 private:
  void Read() {
    socket_.async_read_some(asio::buffer(buffer_), [self = shared_from_this()](
                                                       const std::error_code& error,
                                                       std::size_t size) {
      if (self->closed_) return;
      if (error) {
        self->Close();  // the peer closed, or is gone
        return;
      }
      if (self->answered_) {
        self->Read();  // what comes after the head is passed over until the peer closes
        return;
      }
      // The head's end may straddle two reads.
      const std::size_t from = self->request_.size() < 3 ? 0 : self->request_.size() - 3;
      self->request_.append(self->buffer_.data(), size);
      const std::size_t end = self->request_.find(kHeadEnd, from);
      if (end != std::string::npos && end + kHeadEnd.size() <= kMaxHttpRequest) {
        self->Reply(
            self->shared_->answer(std::string_view(self->request_).substr(0, end + kHeadEnd.size())));
      } else if (self->request_.size() > kMaxHttpRequest) {
        self->Reply(std::string(kTooLarge));
      } else {
        self->Read();
      }
    });
  }

  void Reply(std::string response) {
    answered_ = true;
    request_.clear();
    response_ = std::move(response);
    asio::async_write(socket_, asio::buffer(response_),
                      [self = shared_from_this()](const std::error_code& error, std::size_t) {
                        if (self->closed_) return;
                        if (error) {
                          self->Close();
                          return;
                        }
                        // Closing at once, with bytes of the peer unread, could reset the
                        // connection before the answer arrives: the peer sees the end of
                        // the answer and closes first, or the deadline closes it.
                        std::error_code ignored;
                        self->socket_.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
                        self->Read();
                      });
  }

  asio::ip::tcp::socket socket_;
  asio::steady_timer deadline_;
  std::shared_ptr<Shared> shared_;
  std::array<char, kReadChunk> buffer_{};
  std::string request_;
  std::string response_;
  bool answered_ = false;
  bool closed_ = false;
};

void HttpListener::Shared::Accept() {
  acceptor.async_accept(
      [self = shared_from_this()](const std::error_code& error, asio::ip::tcp::socket socket) {
        if (!self->acceptor.is_open()) return;
        if (!error) {
          std::error_code peer_error;
          const auto peer = socket.remote_endpoint(peer_error);
          if (!peer_error) {
            const std::string what = "http peer " + EndpointText(peer.address(), peer.port());
            if (!self->allow.Allows(peer.address())) {
              self->refused(peer.address(), what, "not allowed");
            } else if (self->open >= self->limits.max_connections) {
              self->refused(peer.address(), what,
                            std::to_string(self->open) + " connections open on this port");
            } else {
              ++self->open;
              auto connection = std::make_shared<Connection>(std::move(socket), self);
              self->connections[connection.get()] = connection;
              connection->Start();
            }
          }
        }
        self->Accept();
      });
}

HttpListener::HttpListener(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint,
                           AllowList allow, HttpLimits limits, Answer answer, Refused refused)
    : shared_(std::make_shared<Shared>(io, endpoint, std::move(allow), limits, std::move(answer),
                                       std::move(refused))) {
  shared_->Accept();
}

HttpListener::~HttpListener() {
  Close();
}

std::string HttpListener::Name() const {
  std::error_code error;
  const auto bound = shared_->acceptor.local_endpoint(error);
  return "http=" + EndpointText(bound.address(), bound.port());
}

void HttpListener::Close() {
  std::error_code ignored;
  shared_->acceptor.close(ignored);
  auto open = shared_->connections;
  for (auto& [pointer, weak] : open) {
    if (auto connection = weak.lock()) connection->Close();
  }
}

}  // namespace serve

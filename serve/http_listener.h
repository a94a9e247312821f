#pragma once

#include <asio/io_context.hpp>
#include <asio/ip/tcp.hpp>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "serve/allow.h"

namespace serve {

// A request's head (request line and header fields) may be at most this long; a longer one
// is answered 431 and the connection closed.
constexpr std::size_t kMaxHttpRequest = 8 * 1024;

struct HttpLimits {
  std::size_t max_connections = 64;
  // From a connection's start to the end of its answer: a client that sends its request or
  // reads the answer slowly is closed then, whatever it does.
  std::chrono::milliseconds deadline = std::chrono::seconds{10};
};

// The HTTP port of serve, on the network thread: accepts connections from the peers the
// allow list admits, reads one request's head from each, hands it to answer and writes back
// what that returns, then closes the connection. It never waits on a peer: a slow or silent
// one costs a place of max_connections until the deadline, and nothing else.
class HttpListener {
 public:
  // The response's bytes for one request head (up to and including its blank line).
  using Answer = std::function<std::string(std::string_view head)>;
  // Told each refused peer: what ("http peer 10.0.0.9:5120") and why.
  using Refused = std::function<void(const asio::ip::address& address, const std::string& what,
                                     const std::string& why)>;

  // Opens and starts the port; throws std::system_error.
  HttpListener(asio::io_context& io, const asio::ip::tcp::endpoint& endpoint, AllowList allow,
               HttpLimits limits, Answer answer, Refused refused);
  ~HttpListener();
  HttpListener(const HttpListener&) = delete;
  HttpListener& operator=(const HttpListener&) = delete;

  // "http=127.0.0.1:8080", with the port number chosen where 0 was asked for.
  std::string Name() const;
  // Closes the port and every connection on it.
  void Close();

 private:
  class Connection;
  struct Shared;
  std::shared_ptr<Shared> shared_;
};

}  // namespace serve

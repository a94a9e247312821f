#pragma once

#include <asio/ip/address.hpp>
#include <asio/ip/tcp.hpp>
#include <string>
#include <vector>

namespace serve {

// The peers that may connect: address ranges in CIDR form ("192.168.1.0/24", "::1/128",
// or one address). Empty: loopback peers only. IPv4 peers that reach an IPv6 socket as
// ::ffff:a.b.c.d are matched as IPv4.
class AllowList {
 public:
  // Throws UsageError for a range that is not an address with an optional /prefix.
  void Add(const std::string& cidr);
  bool Allows(const asio::ip::address& peer) const;

 private:
  struct Range {
    asio::ip::address network;
    unsigned prefix = 0;
  };
  std::vector<Range> ranges_;
};

// "ADDR:PORT", "[V6ADDR]:PORT"; throws UsageError.
asio::ip::tcp::endpoint ParseEndpoint(const std::string& option, const std::string& text);

// "127.0.0.1:4001", "[::1]:4001".
std::string EndpointText(const asio::ip::address& address, unsigned short port);

}  // namespace serve

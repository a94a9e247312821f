#include "serve/allow.h"

#include <algorithm>

#include "cmdline/quote.h"
#include "cmdline/usage_error.h"

namespace serve {
namespace {

asio::ip::address Unmapped(const asio::ip::address& address) {
  if (address.is_v6() && address.to_v6().is_v4_mapped()) {
    return asio::ip::make_address_v4(asio::ip::v4_mapped, address.to_v6());
  }
  return address;
}

template <std::size_t N>
bool SamePrefix(const std::array<unsigned char, N>& a, const std::array<unsigned char, N>& b,
                unsigned prefix) {
  for (std::size_t i = 0; i < N && prefix > 0; ++i) {
    const unsigned bits = std::min(prefix, 8U);
    const auto mask = static_cast<unsigned char>(0xFF << (8 - bits));
    if ((a[i] & mask) != (b[i] & mask)) return false;
    prefix -= bits;
  }
  return true;
}

}  // namespace

void AllowList::Add(const std::string& cidr) {
  const auto slash = cidr.find('/');
  std::error_code error;
  const asio::ip::address network = asio::ip::make_address(cidr.substr(0, slash), error);
  if (error)
    throw cmdline::UsageError("option --allow: " + cmdline::Quote(cidr) +
                              " is not an address range");
  const unsigned bits = network.is_v4() ? 32 : 128;
  unsigned prefix = bits;
  if (slash != std::string::npos) {
    const std::string digits = cidr.substr(slash + 1);
    if (digits.empty() || digits.size() > 3 ||
        digits.find_first_not_of("0123456789") != std::string::npos || std::stoul(digits) > bits) {
      throw cmdline::UsageError("option --allow: bad prefix length in " + cmdline::Quote(cidr));
    }
    prefix = static_cast<unsigned>(std::stoul(digits));
  }
  ranges_.push_back({Unmapped(network), prefix});
}

bool AllowList::Allows(const asio::ip::address& peer_address) const {
  const asio::ip::address peer = Unmapped(peer_address);
  if (ranges_.empty()) return peer.is_loopback();
  return std::any_of(ranges_.begin(), ranges_.end(), [&peer](const Range& range) {
    if (peer.is_v4() != range.network.is_v4()) return false;
    if (peer.is_v4()) {
      return SamePrefix(peer.to_v4().to_bytes(), range.network.to_v4().to_bytes(), range.prefix);
    }
    return SamePrefix(peer.to_v6().to_bytes(), range.network.to_v6().to_bytes(), range.prefix);
  });
}

asio::ip::tcp::endpoint ParseEndpoint(const std::string& option, const std::string& text) {
  const auto colon = text.rfind(':');
  const auto bad = [&] {
    return cmdline::UsageError("option " + option + ": expected ADDR:PORT, got " +
                               cmdline::Quote(text));
  };
  if (colon == std::string::npos) throw bad();
  std::string host = text.substr(0, colon);
  const std::string port = text.substr(colon + 1);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host = host.substr(1, host.size() - 2);
  }
  if (port.empty() || port.size() > 5 ||
      port.find_first_not_of("0123456789") != std::string::npos || std::stoul(port) > 65535) {
    throw bad();
  }
  std::error_code error;
  const asio::ip::address address = asio::ip::make_address(host, error);
  if (error) throw bad();
  return {address, static_cast<unsigned short>(std::stoul(port))};
}

std::string EndpointText(const asio::ip::address& address, unsigned short port) {
  const std::string host = address.is_v6() ? "[" + address.to_string() + "]" : address.to_string();
  return host + ":" + std::to_string(port);
}

}  // namespace serve

#include "server/BindAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cerrno>

namespace qb {
namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) {
    return {};
  }
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

BindAddress Ipv4(in_addr_t address, uint16_t port, std::string text) {
  BindAddress result;
  auto* in = reinterpret_cast<sockaddr_in*>(&result.address);
  in->sin_family = AF_INET;
  in->sin_addr.s_addr = address;
  in->sin_port = htons(port);
  result.length = sizeof(sockaddr_in);
  result.text = std::move(text);
  return result;
}

}  // namespace

BindAddress ParseBindAddress(const std::optional<std::string>& value, uint16_t port) {
  const std::string text = value ? Trimmed(*value) : std::string();
  if (text.empty()) {
    return Ipv4(htonl(INADDR_ANY), port, {});
  }
  in_addr v4{};
  if (::inet_pton(AF_INET, text.c_str(), &v4) == 1) {
    return Ipv4(v4.s_addr, port, text);
  }
  std::string v6text = text;
  if (v6text.size() > 2 && v6text.front() == '[' && v6text.back() == ']') {
    v6text = v6text.substr(1, v6text.size() - 2);
  }
  in6_addr v6{};
  if (::inet_pton(AF_INET6, v6text.c_str(), &v6) == 1) {
    BindAddress result;
    auto* in = reinterpret_cast<sockaddr_in6*>(&result.address);
    in->sin6_family = AF_INET6;
    in->sin6_addr = v6;
    in->sin6_port = htons(port);
    result.length = sizeof(sockaddr_in6);
    result.text = v6text;
    return result;
  }
  BindAddress fallback = Ipv4(htonl(INADDR_LOOPBACK), port, "127.0.0.1");
  fallback.valid = false;
  return fallback;
}

UniqueFd OpenListener(const BindAddress& address, int backlog) {
  UniqueFd listener(
      ::socket(address.address.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!listener.Valid()) {
    return listener;
  }
  const int reuse = 1;
  ::setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  if (::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address.address),
             address.length) != 0 ||
      ::listen(listener.Get(), backlog) != 0) {
    const int error = errno;
    listener.Reset();
    errno = error;
  }
  return listener;
}

}  // namespace qb

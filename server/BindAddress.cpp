#include "server/BindAddress.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <cerrno>

#include "app/ServerConfig.h"

namespace qb {
namespace {

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
  const std::optional<std::string> text = NormalizeBindAddress(value);
  if (!text) {
    BindAddress fallback = Ipv4(htonl(INADDR_LOOPBACK), port, "127.0.0.1");
    fallback.valid = false;
    return fallback;
  }
  if (text->empty()) {
    return Ipv4(htonl(INADDR_ANY), port, {});
  }
  in_addr v4{};
  if (::inet_pton(AF_INET, text->c_str(), &v4) == 1) {
    return Ipv4(v4.s_addr, port, *text);
  }
  BindAddress result;
  auto* in = reinterpret_cast<sockaddr_in6*>(&result.address);
  in->sin6_family = AF_INET6;
  ::inet_pton(AF_INET6, text->c_str(), &in->sin6_addr);
  in->sin6_port = htons(port);
  result.length = sizeof(sockaddr_in6);
  result.text = *text;
  return result;
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

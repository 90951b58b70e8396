#include "net/ListeningSocket.h"

#include <netinet/in.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace qb {

Result<UniqueFd> OpenListeningSocket(const sockaddr_storage& address, socklen_t length,
                                     ListeningSocketOptions options) {
  UniqueFd listener(::socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  const char* step = "socket";
  if (listener.Valid()) {
    const int on = 1;
    ::setsockopt(listener.Get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (options.ipv6Only && address.ss_family == AF_INET6) {
      ::setsockopt(listener.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    }
    step = "bind";
    if (::bind(listener.Get(), reinterpret_cast<const sockaddr*>(&address), length) == 0) {
      step = "listen";
      if (::listen(listener.Get(), options.backlog) == 0) {
        return listener;
      }
    }
  }
  const int error = errno;  // of the step that failed: nothing ran after it
  return Failure{std::string(step) + ": " + std::strerror(error), error};
}

}  // namespace qb

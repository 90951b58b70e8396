// Opening a listening TCP socket, shared by the server (which binds its port
// itself when no broker holds it) and the port broker.
//
// Thread contract: stateless.
#pragma once

#include <sys/socket.h>

#include "util/Result.h"
#include "util/UniqueFd.h"

namespace qb {

struct ListeningSocketOptions {
  int backlog = SOMAXCONN;
  bool ipv6Only = false;  // IPV6_V6ONLY on an IPv6 socket
};

// A non-blocking, close-on-exec socket with SO_REUSEADDR bound to `address`
// and listening; on failure the reason, with the errno of the step that
// failed as its Code().
Result<UniqueFd> OpenListeningSocket(const sockaddr_storage& address, socklen_t length,
                                     ListeningSocketOptions options = {});

}  // namespace qb

// The local address the listener binds: the [Server] bindAddress value of the
// configuration file, read as NormalizeBindAddress reads it. Unset or blank
// means every IPv4 interface (the server's long-standing behaviour);
// "localhost" the loopback address 127.0.0.1; an IPv4 literal ("127.0.0.1") or
// an IPv6 literal ("::1", brackets allowed: "[::1]") binds that address. Any other text would
// leave the server's reach unclear, so it binds the loopback address
// 127.0.0.1 instead and is reported as not valid.
//
// Thread contract: plain values and stateless functions.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>

#include "util/UniqueFd.h"

namespace qb {

struct BindAddress {
  sockaddr_storage address{};  // family, address and port, ready for bind()
  socklen_t length = 0;
  std::string text;  // the address as logged; empty for every interface
  bool valid = true;  // false: the value did not parse and loopback was chosen
};

BindAddress ParseBindAddress(const std::optional<std::string>& value, uint16_t port);

// A non-blocking listening socket bound to `address` with SO_REUSEADDR and
// the given backlog; not valid when any step fails, errno then telling why.
UniqueFd OpenListener(const BindAddress& address, int backlog);

}  // namespace qb

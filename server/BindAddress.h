// The local addresses the listener binds: the [Server] bindAddress value of
// the configuration file, read as NormalizeBindAddress reads it. Unset, blank
// or "localhost" means this computer only: 127.0.0.1 and ::1 (the latter
// skipped where the system has no IPv6 loopback). An IPv4 literal
// ("192.168.1.20", "0.0.0.0") or an IPv6 literal ("::1", brackets allowed:
// "[::1]") binds that one address. Any other text would leave the server's
// reach unclear, so it binds the loopback addresses instead and is reported
// as not valid.
//
// Thread contract: plain values and stateless functions.
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "util/UniqueFd.h"

namespace qb {

struct BindAddress {
  sockaddr_storage address{};  // family, address and port, ready for bind()
  socklen_t length = 0;
  std::string text;  // the address as logged and as a Host header may name it
  bool optional = false;  // may be skipped when the system lacks the address
  // The address reaches only this computer (loopback).
  bool IsLoopback() const;
};

struct BindPlan {
  std::vector<BindAddress> addresses;  // bound in this order
  bool valid = true;  // false: the value did not parse and loopback was chosen
  // Some address can be reached from other computers.
  bool Exposed() const;
  // The addresses as logged: "127.0.0.1 and ::1".
  std::string Text() const;
};

BindPlan ParseBindAddress(const std::optional<std::string>& value, uint16_t port);

}  // namespace qb

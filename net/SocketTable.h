// Reads the kernel's table of TCP sockets in the text form of /proc/net/tcp
// and /proc/net/tcp6: one row per socket with its local and remote address,
// state, owner uid and inode. Works on the bytes of one table, so that the
// rows can be tested without sockets; the caller reads the files.
//
// Addresses appear as the kernel prints them: every 32-bit word of the
// address in the host's byte order as 8 hex digits, then ":" and the port as
// 4 hex digits.
//
// Thread contract: stateless functions over plain values.
#pragma once

#include <sys/socket.h>
#include <sys/types.h>

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qb {

// One end of a TCP connection: family (AF_INET or AF_INET6), address bytes in
// network order (4 or 16 of them) and port.
struct Endpoint {
  int family = AF_INET;
  std::array<uint8_t, 16> address{};
  uint16_t port = 0;

  // The endpoint of `address` (IPv4, or IPv6 with an IPv4-mapped address
  // turned into IPv4); nullopt for other families.
  static std::optional<Endpoint> From(const sockaddr_storage& address);
  // The local end of `socket` (getsockname), and the remote end of a
  // connected one (getpeername); nullopt when the call fails or the family
  // is another.
  static std::optional<Endpoint> LocalOf(int socket);
  static std::optional<Endpoint> PeerOf(int socket);
  // Every address byte zero: the end of a socket bound to all addresses.
  bool IsWildcard() const;
  // The loopback network: 127.0.0.0/8 or ::1.
  bool IsLoopback() const;
  // The same endpoint as an IPv6 socket sees an IPv4 one (::ffff:a.b.c.d);
  // IPv6 endpoints are returned unchanged.
  Endpoint Mapped() const;
  // The address as /proc/net/tcp* prints it, with the port: "0100007F:0CEA".
  std::string TableText() const;
};

// What a table row says about the socket owning an endpoint.
struct SocketRow {
  uid_t uid = 0;
  uint64_t inode = 0;  // 0: no process holds the socket (it is closing)
};

// The row of the socket whose local end is `local` and remote end `remote`
// (the socket of the other side of a connection we accepted: its local end is
// our peer). nullopt when the table holds no such row.
std::optional<SocketRow> FindConnection(std::string_view table, const Endpoint& local,
                                        const Endpoint& remote);

// The row of a listening socket on `port` whose local address is `address` or
// the wildcard address of the table's family.
std::optional<SocketRow> FindListener(std::string_view table, const Endpoint& address);

}  // namespace qb

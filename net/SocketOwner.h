// Finds which user owns the socket at the other end of a TCP connection that
// came from this computer: asks the kernel's socket diagnostics (a
// NETLINK_SOCK_DIAG lookup of the connection's four addresses), and when that
// is not available reads /proc/net/tcp and /proc/net/tcp6 (SocketTable).
// Also names the owner of a listening socket that holds a port we want.
//
// Thread contract: one instance per thread (it keeps a netlink socket open);
// the listener thread in practice.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "net/SocketTable.h"
#include "util/UniqueFd.h"

namespace qb {

class SocketOwner {
 public:
  enum class Status {
    kFound,     // `uid` holds the owner
    kNotLocal,  // no socket of this computer has that end: a remote peer
    kFailed,    // neither way of looking worked
  };
  struct Result {
    Status status = Status::kFailed;
    uid_t uid = 0;
    // kFound: a process holds the socket. A socket closed already (no
    // process holds it) keeps its owner while the connection closes, but
    // once only its time-wait remains the kernel reports uid 0 for it.
    bool held = false;
  };

  SocketOwner() = default;
  ~SocketOwner() = default;
  SocketOwner(const SocketOwner&) = delete;
  SocketOwner& operator=(const SocketOwner&) = delete;

  // The owner of the socket whose local end is `peer` and remote end `local`
  // (the two ends of a connection we accepted, as we see them).
  Result PeerOf(const Endpoint& peer, const Endpoint& local);

  // The two ends of one accepted connection, as PeerOf takes them.
  struct Ends {
    Endpoint peer;
    Endpoint local;
  };
  // PeerOf for each connection of `connections`, in order, asking the kernel
  // once for all of them (one request, the answers read together), so that
  // connections accepted together cost one lookup.
  std::vector<Result> PeersOf(std::span<const Ends> connections);

  // The owner of the listening socket on `address` (or on the wildcard
  // address of its family) and port.
  static std::optional<uid_t> ListenerOwner(const Endpoint& address);

  // The same from /proc/net/tcp and /proc/net/tcp6 alone.
  static Result ReadTables(const Endpoint& peer, const Endpoint& local);

  // "name (uid N)", or "uid N" when the user database has no name for it.
  static std::string Describe(uid_t uid);

 private:
  // The netlink lookup for each of `connections`; false, with `results` untouched,
  // when the kernel does not answer them.
  bool AskKernelAll(std::span<const Ends> connections, std::vector<Result>* results);
  bool OpenNetlink();

  UniqueFd m_netlink;
  uint32_t m_nSequence = 0;  // of the last netlink request
  std::vector<char> m_answers;  // room for the kernel's answers
  bool m_bNetlinkBroken = false;  // the kernel cannot answer: use the tables
};

}  // namespace qb

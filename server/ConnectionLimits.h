// Bounds what the open connections of the server hold, counted across the
// listener and the workers:
//  - open connections (file descriptors): at most `maxOpen`;
//  - connections holding more than kSmallRequestBytes of request: at most
//    `maxLarge`, so that a large number of open connections cannot make the
//    server hold a large number of large requests; a connection that needs
//    more waits (its sender is not read) until one is free;
//  - open connections from one peer address: at most `maxPerPeer`, so that
//    one client cannot take every connection;
//  - the bytes the large requests may come to hold, all connections
//    together: at most `bodyBudget`, shared fairly among peers (BodyBudget);
//    a request that does not fit is refused, not held.
// Each open connection carries a Ticket, which gives its share back when it is
// destroyed, whichever thread that happens on. A share given back while its
// bound was reached notifies Freed(), which the listener waits for at a bound.
//
// Thread contract: every operation may be called from any thread; a Ticket
// belongs to one thread at a time. The limits outlive every ticket.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

#include "server/BodyBudget.h"
#include "util/Mutex.h"
#include "util/Notifier.h"

namespace qb {

inline constexpr size_t kSmallRequestBytes = 64 * 1024;
inline constexpr size_t kMaxConnectionsPerPeer = 1024;
// kMaxConnectionsPerPeer, or the number given by the environment variable
// QUILLBOX_CONNECTIONS_PER_PEER (for tests).
size_t ConnectionsPerPeerBound();

class ConnectionLimits {
 public:
  class Ticket {
   public:
    Ticket() = default;
    Ticket(Ticket&& other) noexcept;
    Ticket& operator=(Ticket&& other) noexcept;
    Ticket(const Ticket&) = delete;
    Ticket& operator=(const Ticket&) = delete;
    ~Ticket() { Reset(); }

    bool Valid() const { return m_limits != nullptr; }
    bool HoldsLarge() const { return m_large; }
    // Takes a large share for this connection; false when none is free.
    bool TakeLarge();
    // Counts this connection for peer address `peer` (once, before any
    // CoverBody); false when that peer has its bound of connections open
    // already.
    bool SetPeer(const std::string& peer);
    // Makes sure this connection is granted `bytes` of the bodies budget for
    // its peer (the grant only grows); false, with the grant unchanged, when
    // the budget or the peer's share has no room for it.
    bool CoverBody(size_t bytes);
    size_t BodyCovered() const { return m_body; }

   private:
    friend class ConnectionLimits;
    explicit Ticket(ConnectionLimits* limits) : m_limits(limits) {}
    void Reset();

    ConnectionLimits* m_limits = nullptr;
    bool m_large = false;
    size_t m_body = 0;   // granted of the bodies budget
    std::string m_peer;  // counted for this peer when not empty
  };

  ConnectionLimits(size_t maxOpen, size_t maxLarge, size_t maxPerPeer = ConnectionsPerPeerBound(),
                   size_t bodyBudget = kBodyBudgetBytes)
      : m_maxOpen(maxOpen), m_maxLarge(maxLarge), m_maxPerPeer(maxPerPeer), m_bodies(bodyBudget) {}
  ConnectionLimits(const ConnectionLimits&) = delete;
  ConnectionLimits& operator=(const ConnectionLimits&) = delete;

  // A ticket for one more open connection, or an invalid one at the bound.
  Ticket TryOpen();
  bool CanOpen() const;
  bool LargeFree() const;
  size_t MaxOpen() const { return m_maxOpen; }
  // What the tickets are granted of the bodies budget, in all.
  size_t BodiesHeld() const;
  // Notified when a connection or a large share is given back while all of
  // them were taken; the listener alone watches and clears it.
  Notifier& Freed() { return m_freed; }

 private:
  const size_t m_maxOpen;
  const size_t m_maxLarge;
  const size_t m_maxPerPeer;

  mutable Mutex m_mutex;
  size_t m_open GUARDED_BY(m_mutex) = 0;
  size_t m_large GUARDED_BY(m_mutex) = 0;
  // Peers with open connections.
  std::unordered_map<std::string, size_t> m_perPeer GUARDED_BY(m_mutex);
  BodyBudget m_bodies GUARDED_BY(m_mutex);
  Notifier m_freed;
};

// The bound on open connections for this process: kMaxOpenConnections, or
// fewer when the descriptor limit (raised towards its hard limit first, as far
// as that bound needs) leaves less room beside kReservedDescriptors for the
// database, downloads and files of the workers.
inline constexpr size_t kMaxOpenConnections = 4096;
inline constexpr size_t kReservedDescriptors = 256;
size_t OpenConnectionBound();

}  // namespace qb

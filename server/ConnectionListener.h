// The listener: runs listening cycles until the server stops. Each cycle reads
// the configured port, bind address, allowed hosts and origins afresh, binds a
// listening socket on each address (127.0.0.1 and ::1 by default) and
// accepts connections until the stop or rebind flag is set; a cycle that
// cannot bind is retried after 100 ms, and who holds the port is logged once.
//
// A connection from this computer is served only when the socket at its other
// end belongs to the user running the server (SocketOwner); others get the
// forbidden answer before anything is read. The answers the user gives about
// web origins (OriginGate) are put into effect here: the origin policy is
// updated, the answer is remembered in the configuration file, and the
// requests that waited are served or refused.
//
// Requests arrive on the listener thread: every accepted connection is
// watched (PendingConnections) until its request is complete, too large or
// nothing usable came, and only then handed to a CSendTask on the worker
// pool, which answers it; at most kMaxConnections answers are worked on at
// once, the rest queue for a worker. Open connections, waiting or answered,
// are bounded by OpenConnectionBound(); at the bound the listener stops
// accepting and new connections wait in the listen backlog until one ends.
// Connections still arriving keep being read across a rebind.
//
// Where a port broker runs (BrokerLink), a cycle registers with it instead of
// binding: the connections the broker passes go through the same checks and
// the same receive path as accepted ones. The broker going away ends the
// cycle at once, and the next one binds the port as without a broker; a
// broker appearing while the server listens itself ends the cycle too, and
// the next one registers.
//
// The listener sleeps until something happens: it waits in one epoll set for
// connections, request bytes, the stop and rebind notifiers of the context,
// the origin gate and a connection share given back at the bound, with a
// time-out only up to the nearest real deadline (a receive deadline, a
// request's wait for the user, a bind retry, an accept pause). Idle, it does
// not wake at all.
//
// Thread contract: Run() runs on the listener thread only. It returns after
// the stop flag is set, the connections still arriving are closed and every
// connection worker has been joined.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "server/BrokerLink.h"
#include "server/CTaskBase.h"
#include "server/CWorkerPool.h"
#include "server/ConnectionLimits.h"
#include "server/ListenConfig.h"
#include "server/OriginGate.h"
#include "server/PendingConnections.h"
#include "net/SocketOwner.h"

namespace qb {

inline constexpr size_t kMaxConnections = 64;
// Room for a burst of connections (hundreds of clients connecting at once):
// a full backlog makes the kernel drop new connection attempts, which costs
// every client caught in the burst a retry of a second.
inline constexpr int kListenBacklog = 1024;

class ConnectionListener : public CTaskBase {
 public:
  explicit ConnectionListener(CTaskMgr* mgr);

  void Run() override;

  // One listening cycle: false when no socket could be set up (why is
  // logged), true when its accept loop ended.
  bool Listen();

 private:
  // Accepts what `listenSocket` has waiting, up to the bound. False when
  // accepting failed for good and the cycle is to end.
  // `local` (may be null) is the address every connection on it arrives at,
  // when it listens on one address rather than a wildcard.
  bool AcceptClients(int listenSocket, const Endpoint* local);
  // Takes the connections the broker passed, up to the bound. False when
  // the broker has gone and the cycle is to end.
  bool TakeHanded();
  // A connection taken, not yet served nor refused; the listener owns
  // `client`.
  struct Arrival {
    int client;
    sockaddr_storage address;  // of its peer
    ConnectionLimits::Ticket ticket;
  };
  // Serves each of `arrivals` or refuses it, with one owner lookup for all;
  // `local` as for AcceptClients.
  void AdmitAll(std::vector<Arrival>& arrivals, const Endpoint* local);
  // Says where connections come from while registered with the broker.
  void AnnounceRegistration(uint16_t port);
  // True when a connection from `peer`, whose other end the lookup found
  // owned as `owner`, may be served: it is not a socket of another user of
  // this computer. Either is empty when it could not be told. Logs a refusal.
  bool MayServe(const std::optional<Endpoint>& peer,
                const std::optional<SocketOwner::Result>& owner);
  // Logs once why the addresses of a cycle could not be bound.
  void ReportBindFailure(const BindAddress& address, int error);
  // Puts the user's answers and changed site lists into effect and refuses
  // requests that waited too long for an answer.
  void ServeGate();
  void ApplyAnswer(const std::string& origin, OriginGate::Outcome outcome);
  // Hands a connection whose request is done to a worker, or closes it.
  void OnRequestDone(int socket, RequestReceiver::Outcome outcome, std::string request,
                     ConnectionLimits::Ticket ticket);
  // Logs that the connection bound is reached, at most once a minute.
  void ReportBound();
  // Keeps reading arriving requests for about `ms`, ending early when the
  // server stops.
  void Pause(int ms);
  // The epoll time-out that ends a wait at `until` or at the first expiry of
  // a request waiting for the user, whichever comes first; -1 for none.
  int WaitMs(std::chrono::steady_clock::time_point until) const;

  // Declared before the pool and the pending set so that it outlives every
  // ticket they hold.
  ConnectionLimits m_limits;
  CWorkerPool m_pool;
  ListenConfig m_config;  // browser-facing settings of each cycle
  std::shared_ptr<OriginGate> m_pGate;  // requests waiting for the user's answer
  PendingConnections m_pending;
  SocketOwner m_owner;
  BrokerLink m_broker;
  const uid_t m_uid;  // the user the server runs as
  // Some notifier could not be watched: waits end after kAcceptPollMs so
  // that what it stands for is still seen.
  bool m_bLookNowAndThen = false;
  bool m_bBindFailureReported = false;  // since the last successful bind
  std::chrono::steady_clock::time_point m_acceptResumes;  // after running out of descriptors
  std::chrono::steady_clock::time_point m_boundReported;  // when the bound was last logged
};

}  // namespace qb

// The listener: runs listening cycles until the server stops. Each cycle reads
// the configured port, bind address and allowed origins afresh, binds a
// listening socket on that address (all interfaces by default) and
// accepts connections until the stop or rebind flag is set; a cycle that
// cannot bind is retried after 100 ms.
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
// Thread contract: Run() runs on the listener thread only. It returns after
// the stop flag is set, the connections still arriving are closed and every
// connection worker has been joined.
#pragma once

#include <chrono>

#include "server/CTaskBase.h"
#include "server/CWorkerPool.h"
#include "server/ConnectionLimits.h"
#include "server/ListenConfig.h"
#include "server/PendingConnections.h"

namespace qb {

inline constexpr size_t kMaxConnections = 64;
// Room for a burst of connections (hundreds of clients connecting at once):
// a full backlog makes the kernel drop new connection attempts, which costs
// every client caught in the burst a retry of a second.
inline constexpr int kListenBacklog = 1024;

class CMainTask : public CTaskBase {
 public:
  explicit CMainTask(CTaskMgr* mgr);

  void Run() override;

  // One listening cycle: 1 when the socket could not be set up, 0 when its
  // accept loop ended.
  int Listen();

 private:
  // Accepts what `listenSocket` has waiting, up to the bound. False when
  // accepting failed for good and the cycle is to end.
  bool AcceptClients(int listenSocket);
  // Hands a connection whose request is done to a worker, or closes it.
  void OnRequestDone(int socket, RequestReceiver::Outcome outcome, std::string request,
                     ConnectionLimits::Ticket ticket);
  // Logs that the connection bound is reached, at most once a minute.
  void ReportBound();
  // Keeps reading arriving requests for about `ms`, ending early when the
  // server stops.
  void Pause(int ms);

  // Declared before the pool and the pending set so that it outlives every
  // ticket they hold.
  ConnectionLimits m_limits;
  CWorkerPool m_pool;
  ListenConfig m_config;  // browser-facing settings of each cycle
  PendingConnections m_pending;
  std::chrono::steady_clock::time_point m_acceptResumes;  // after running out of descriptors
  std::chrono::steady_clock::time_point m_boundReported;  // when the bound was last logged
};

}  // namespace qb

// The listener: runs listening cycles until the server stops. Each cycle reads
// the configured port, bind address and allowed origins afresh, binds a
// listening socket on that address (all interfaces by default) and
// accepts connections until the stop or rebind flag is set; a cycle that
// cannot bind is retried after 100 ms. Each accepted connection is served by
// a CSendTask on the task's worker pool, at most kMaxConnections at once; the
// rest wait in the listen backlog.
//
// Thread contract: Run() runs on the listener thread only. It returns after
// the stop flag is set and every connection worker has been joined.
#pragma once

#include "server/CTaskBase.h"
#include "server/CWorkerPool.h"
#include "server/ListenConfig.h"

namespace qb {

inline constexpr size_t kMaxConnections = 64;
inline constexpr int kListenBacklog = 5;

class CMainTask : public CTaskBase {
 public:
  explicit CMainTask(CTaskMgr* mgr) : CTaskBase(mgr), m_pool(kMaxConnections) {}

  void Run() override;

  // One listening cycle: 1 when the socket could not be set up, 0 when its
  // accept loop ended.
  int Listen();

 private:
  // The next accepted connection, or -1 when the cycle is to end (a flag is
  // set or accepting failed for good).
  int AcceptClient(int listenSocket);
  // Sleeps about `ms`, waking early when the server stops.
  void Pause(int ms) const;

  CWorkerPool m_pool;
  ListenConfig m_config;  // browser-facing settings of each cycle
};

}  // namespace qb

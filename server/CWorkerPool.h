// A fixed set of worker threads that run connection tasks. The threads are
// started with the pool, so that handing over a connection costs no thread
// creation and the listener gets back to its connections at once. At most
// that many tasks run at once; further tasks queue until a worker is free.
//
// Thread contract: Post may be called from any thread (the listener in
// practice). Shutdown (also run by the destructor) lets every queued task run,
// then joins every worker; tasks are expected to end promptly once the
// context's stop flag is set. A task posted after Shutdown is destroyed
// without running.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <thread>
#include <vector>

#include "server/CTaskBase.h"
#include "util/Mutex.h"

namespace qb {

class CWorkerPool {
 public:
  // Starts `workers` threads (at least one).
  explicit CWorkerPool(size_t workers);
  ~CWorkerPool();
  CWorkerPool(const CWorkerPool&) = delete;
  CWorkerPool& operator=(const CWorkerPool&) = delete;

  void Post(std::unique_ptr<CTaskBase> task);
  void Shutdown();

 private:
  void WorkerLoop();

  const size_t m_maxWorkers;

  Mutex m_mutex;
  std::condition_variable m_taskReady;  // a task was queued, or shutdown
  std::deque<std::unique_ptr<CTaskBase>> m_queue GUARDED_BY(m_mutex);
  bool m_shutdown GUARDED_BY(m_mutex) = false;
  std::vector<std::thread> m_threads GUARDED_BY(m_mutex);
};

}  // namespace qb

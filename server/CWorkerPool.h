// A bounded set of worker threads that run connection tasks. Threads are
// started as tasks arrive, up to the bound, and then reused; at most that many
// tasks are queued or running at once, so the listener accepts a connection
// only when HasCapacity() and leaves the rest in the listen backlog.
//
// Thread contract: Post, HasCapacity and WaitForCapacity may be called from
// any thread (the listener in practice). Shutdown (also run by the destructor)
// lets every queued task run, then joins every worker; tasks are expected to
// end promptly once the context's stop flag is set.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "server/CTaskBase.h"

namespace qb {

class CWorkerPool {
 public:
  explicit CWorkerPool(size_t maxWorkers);
  ~CWorkerPool();
  CWorkerPool(const CWorkerPool&) = delete;
  CWorkerPool& operator=(const CWorkerPool&) = delete;

  bool HasCapacity() const;
  // Waits up to `timeout` for capacity; true when there is some.
  bool WaitForCapacity(std::chrono::milliseconds timeout) const;
  void Post(std::unique_ptr<CTaskBase> task);
  void Shutdown();

 private:
  void WorkerLoop();

  const size_t m_maxWorkers;

  mutable std::mutex m_mutex;  // guards every member below
  mutable std::condition_variable m_taskReady;  // a task was queued, or shutdown
  mutable std::condition_variable m_slotFree;   // a task finished
  std::deque<std::unique_ptr<CTaskBase>> m_queue;
  size_t m_busy = 0;  // tasks queued or running
  size_t m_idle = 0;  // workers waiting for a task
  bool m_shutdown = false;
  std::vector<std::thread> m_threads;
};

}  // namespace qb

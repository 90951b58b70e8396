#include "server/CWorkerPool.h"

#include "util/MutexLock.h"

namespace qb {

CWorkerPool::CWorkerPool(size_t workers) : m_maxWorkers(workers == 0 ? 1 : workers) {
  MutexLock lock(m_mutex);
  m_threads.reserve(m_maxWorkers);
  for (size_t i = 0; i < m_maxWorkers; ++i) {
    m_threads.emplace_back([this] { WorkerLoop(); });
  }
}

CWorkerPool::~CWorkerPool() { Shutdown(); }

void CWorkerPool::Post(std::unique_ptr<CTaskBase> task) {
  {
    MutexLock lock(m_mutex);
    if (m_shutdown) {
      return;  // nobody would run it; destroying it releases what it holds
    }
    m_queue.push_back(std::move(task));
  }
  // Signalled after unlocking: a worker woken under the lock would only block
  // again on it, costing a second wake-up per task.
  m_taskReady.notify_one();
}

void CWorkerPool::Shutdown() {
  std::vector<std::thread> threads;
  {
    MutexLock lock(m_mutex);
    m_shutdown = true;
    threads.swap(m_threads);
  }
  m_taskReady.notify_all();
  for (std::thread& thread : threads) {
    thread.join();
  }
}

void CWorkerPool::WorkerLoop() {
  MutexLock lock(m_mutex);
  for (;;) {
    lock.Wait(m_taskReady, [this]() REQUIRES(m_mutex) { return !m_queue.empty() || m_shutdown; });
    if (m_queue.empty()) {
      return;  // shutting down with nothing left to run
    }
    std::unique_ptr<CTaskBase> task = std::move(m_queue.front());
    m_queue.pop_front();
    lock.Unlock();
    TaskThreadProc(std::move(task));
    lock.Lock();
  }
}

}  // namespace qb

#include "util/LowPriorityPool.h"

#include <sys/resource.h>
#include <unistd.h>

#include "util/MutexLock.h"

namespace qb {

LowPriorityPool::LowPriorityPool(int threads) : m_idle(threads) {
  for (int i = 0; i < threads; ++i) {
    m_threads.emplace_back([this] { Loop(); });
  }
}

LowPriorityPool::~LowPriorityPool() {
  {
    MutexLock lock(m_mutex);
    m_stopping = true;
  }
  m_ready.notify_all();
  for (std::thread& thread : m_threads) {
    thread.join();
  }
}

void LowPriorityPool::Run(const std::function<void()>& work) {
  std::packaged_task<void()> task(work);
  std::future<void> done = task.get_future();
  {
    MutexLock lock(m_mutex);
    --m_idle;  // may go below 0: the task waits for a thread
    m_tasks.push_back(std::move(task));
  }
  m_ready.notify_one();
  done.get();
}

bool LowPriorityPool::TryRun(const std::function<void()>& work) {
  std::packaged_task<void()> task(work);
  std::future<void> done = task.get_future();
  {
    MutexLock lock(m_mutex);
    if (m_idle <= 0) {
      return false;
    }
    --m_idle;
    m_tasks.push_back(std::move(task));
  }
  m_ready.notify_one();
  done.get();
  return true;
}

void LowPriorityPool::Loop() {
  // Only this thread's priority changes; it runs nothing else.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kLowPriorityNice);
  for (;;) {
    std::packaged_task<void()> task;
    {
      MutexLock lock(m_mutex);
      lock.Wait(m_ready, [this]() REQUIRES(m_mutex) { return m_stopping || !m_tasks.empty(); });
      if (m_tasks.empty()) {
        return;
      }
      task = std::move(m_tasks.front());
      m_tasks.pop_front();
    }
    task();
    MutexLock lock(m_mutex);
    ++m_idle;
  }
}

}  // namespace qb

// A few threads of their own, at a lower scheduling priority than the rest of
// the process, for heavy work that an untrusted request can start (full page
// decodes, conditions the client writes): while such work runs, the
// processor goes to the other requests first.
//
// Thread contract: Run and TryRun may be called from any number of threads at
// once; the work runs on a pool thread and the caller waits for it. The pool
// joins its threads when it is destroyed (no work may be running then).
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <thread>
#include <vector>

#include "util/Mutex.h"

namespace qb {

inline constexpr int kLowPriorityNice = 10;

class LowPriorityPool {
 public:
  explicit LowPriorityPool(int threads);
  ~LowPriorityPool();
  LowPriorityPool(const LowPriorityPool&) = delete;
  LowPriorityPool& operator=(const LowPriorityPool&) = delete;

  // Runs `work` on a pool thread, waiting for one to be free.
  void Run(const std::function<void()>& work);
  // Runs `work` on a pool thread when one is free at once; false (nothing
  // run) otherwise.
  bool TryRun(const std::function<void()>& work);

 private:
  void Loop();

  Mutex m_mutex;
  std::condition_variable m_ready;
  std::deque<std::packaged_task<void()>> m_tasks GUARDED_BY(m_mutex);
  int m_idle GUARDED_BY(m_mutex) = 0;  // threads waiting for work, less the tasks posted for them
  bool m_stopping GUARDED_BY(m_mutex) = false;
  std::vector<std::thread> m_threads;
};

}  // namespace qb
